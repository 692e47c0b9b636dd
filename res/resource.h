#pragma once
#define IDI_MAINICON 1
#define IDR_SPLASH_JPEG 100
#define IDB_GLYPHS 101
