#include "dialup/service_binding.h"

#include "dialup/ras.h"

// No service is bound yet: the connection button stays disabled.
void BindDialupFunctions(IProfileStore&) {}
