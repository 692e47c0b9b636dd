#pragma once
#define IDI_MAINICON 1
#define IDR_SPLASH_JPEG 100
#define IDB_GLYPHS 101
// The photograph drawn for displays of 125 %, 150 % and 200 %.
#define IDR_SPLASH_JPEG_125 110
#define IDR_SPLASH_JPEG_150 111
#define IDR_SPLASH_JPEG_200 112
