list(APPEND CORE_SOURCES
)
list(APPEND WIN_SOURCES
  app/Glyphs.cpp
  app/MainUnit.cpp
)
