list(APPEND WIN_SOURCES
  widgets/Application.cpp
  widgets/Controls.cpp
  widgets/GroupFrame.cpp
)
