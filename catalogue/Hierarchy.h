#pragma once
// The inheritance hierarchy of an application: every entry reference under the
// reference of its ancestor, ancestors that no library of the path supplies as
// library-less references under "System".

#include <functional>
#include <string_view>

#include "catalogue/Orcactrl.h"

namespace catalogue {

// The reference's parent, resolved (from its ancestor's name) on first use.
TPBObjRef* ResolveParent(TPBObjRef& ref);
// The reference to use for an ancestor name: the first entry of that name and type in
// the libraries of the path (only the library libraryPath names, when given), else the
// application's class of that name under "System", created on first use.
TPBObjRef* FindObjRef(TPBApp& app, std::string_view name, std::string_view libraryPath, int type);
// Resolves every reference's parent, then puts the system classes in table order.
void BuildHierarchy(TPBApp& app);
// The ancestor just below "System" ("System" for itself).
TPBObjRef* RootClass(TPBObjRef& ref);
// Applies the action to every descendant, depth first, while the run flag is set, letting
// the message loop run after each. The walk holds a TWalkScope: what leaves the catalogue
// meanwhile stays allocated, and the walk passes over references that left (Retired())
// or moved to another parent.
void WalkDescendants(TPBObjRef& ref, const std::function<void(TPBObjRef&)>& action);

}  // namespace catalogue
