// Handlers whose subsystem has not landed yet do nothing.  Each subsystem
// removes its entries here when it defines them in its own folder.
#include "ui/Parlune.h"

void Parlune::Start_Click() {}
void Parlune::Stopit_Click() {}
void Parlune::Spectrum_MouseMove(int, int, double, double) {}
void Parlune::Spectrum_MouseDown(int, int, double, double) {}
void Parlune::RunLoop() {}
