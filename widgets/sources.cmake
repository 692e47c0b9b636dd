list(APPEND WIN_SOURCES
  widgets/Application.cpp
  widgets/Controls.cpp
  widgets/DropTarget.cpp
  widgets/Form.cpp
  widgets/Glyphs.cpp
  widgets/GraphicControls.cpp
  widgets/GroupFrame.cpp
  widgets/Menus.cpp
  widgets/Timer.cpp
  widgets/Window.cpp
)
