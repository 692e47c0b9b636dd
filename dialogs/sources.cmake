list(APPEND WIN_SOURCES
  dialogs/EmailSizeFormUnit.cpp
  dialogs/ErrorDlgUnit.cpp
  dialogs/HelpDlgUnit.cpp
  dialogs/NewAboutFrmUnit.cpp
  dialogs/SlideShowFormUnit.cpp
  dialogs/RenameDlgUnit.cpp
  dialogs/ToolsFormUnit.cpp
)
