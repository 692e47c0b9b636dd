# Colour: ICC profiles, their transforms to the monitor, CMYK.
list(APPEND CORE_SOURCES
  imaging/colour/CmykColour.cpp
  imaging/colour/ColourProfile.cpp
  imaging/colour/ColourTransform.cpp
)
