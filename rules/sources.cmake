list(APPEND CORE_SOURCES
  rules/EmailAttachment.cpp
  rules/PrintLayout.cpp
  rules/WindowPlacement.cpp
  rules/ReadAhead.cpp
  rules/SizeFields.cpp
  rules/ZoomRules.cpp
)
