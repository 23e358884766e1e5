#pragma once
// Object loading and source analysis: an entry's source is exported into memory
// (TPBObj::LoadSource, Source.cpp), its ancestor is read out of the source, and a
// catalogue object is loaded for the views.

#include <string>

#include "catalogue/Orcactrl.h"

namespace catalogue {

// The ancestor named by the entry's source ("global type NAME from ANCESTOR"), else by
// ORCA's hierarchy query, else the system class of its type.
std::string AncestorName(TPBObjRef& ref);
// Loads a catalogue object for the views: an application's library list and hierarchy;
// a library reference's library and references.
void LoadNode(TObject* nodeData);

}  // namespace catalogue
