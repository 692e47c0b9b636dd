list(APPEND CORE_SOURCES
  system/Cancellation.cpp
  system/Failure.cpp
  system/Numbers.cpp
  system/SettingsNames.cpp
)
list(APPEND WIN_SOURCES
  system/RegistryUnit.cpp
  system/OpenWith.cpp
)
