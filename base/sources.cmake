list(APPEND CORE_SOURCES
  base/Cancellation.cpp
  base/Failure.cpp
  base/Numbers.cpp
  base/Text.cpp
)
