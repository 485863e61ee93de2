// Chooses the dial-up service at start and binds the three dial-up functions to it.
#pragma once

class IProfileStore;

// Reads group "Dialup", entry "Service"; leaves every function unbound when the chosen service
// is not there.
void BindDialupFunctions(IProfileStore& profile);
