list(APPEND CORE_SOURCES
  rules/EmailAttachment.cpp
  rules/PrintLayout.cpp
  rules/ReadAhead.cpp
  rules/SizeFields.cpp
  rules/ZoomRules.cpp
)
