list(APPEND WIN_SOURCES
  widgets/Application.cpp
  widgets/Controls.cpp
  widgets/Form.cpp
  widgets/Glyphs.cpp
  widgets/GroupFrame.cpp
  widgets/Window.cpp
)
