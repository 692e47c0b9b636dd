// "Open with": the program offered for file types it does not take over.
#pragma once

#include <string>
#include <vector>

#include "imaging/codecs/ImageFormats.h"
#include "system/RegistryUnit.h"

using OpenWithType = FileTypeEntry;

// Gives each type a class of the program's own (AssociationClassName, with
// its description and open command) and lists it under the extension's
// OpenWithProgids; the extension's own default stays as it is.
void OfferOpenWith(const std::vector<OpenWithType>& types, const AssociationScope& scope = {});
// Removes exactly that: the listing (and the OpenWithProgids and extension
// keys when nothing else is left in them) and the class.
void WithdrawOpenWith(const std::vector<OpenWithType>& types, const AssociationScope& scope = {});
