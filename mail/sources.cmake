list(APPEND WIN_SOURCES
  mail/AFQuickMail.cpp
)
