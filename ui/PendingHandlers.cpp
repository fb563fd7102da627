// Handlers whose subsystem has not landed yet do nothing.  Each subsystem
// removes its entries here when it defines them in its own folder.
#include "ui/Parlune.h"

