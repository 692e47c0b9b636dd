list(APPEND CORE_SOURCES
  system/SettingsNames.cpp
)
list(APPEND WIN_SOURCES
  system/RegistryUnit.cpp
  system/OpenWith.cpp
)
