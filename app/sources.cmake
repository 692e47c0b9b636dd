list(APPEND WIN_SOURCES
  app/MainUnit.cpp
  app/ImageView.cpp
  app/AnimationPlayer.cpp
  app/Loading.cpp
  app/DecodeAhead.cpp
  app/Navigation.cpp
  app/DragDrop.cpp
  app/Editing.cpp
  app/Files.cpp
  app/OpenPictureDialog.cpp
  app/PrintDialog.cpp
  app/Printing.cpp
  app/Zoom.cpp
  app/KeyMap.cpp
  app/SlideShow.cpp
  app/Email.cpp
)
