list(APPEND WIN_SOURCES
  dialogs/ErrorDlgUnit.cpp
  dialogs/HelpDlgUnit.cpp
  dialogs/NewAboutFrmUnit.cpp
  dialogs/SlideShowFormUnit.cpp
  dialogs/RenameDlgUnit.cpp
)
