// Handlers whose subsystem has not landed yet do nothing.  Each subsystem
// removes its entries here when it defines them in its own folder.
#include "ui/Parlune.h"

void Parlune::Form_Load() {}
void Parlune::Form_Unload() {}
void Parlune::Start_Click() {}
void Parlune::Stopit_Click() {}
void Parlune::WindType_Change() {}
void Parlune::SRate_Change() {}
void Parlune::FFTSize_Click() {}
void Parlune::AvScroll_Change() {}
void Parlune::DetPeriod_Change() {}
void Parlune::DispThreshold_Change() {}
void Parlune::PeakingRef_Change() {}
void Parlune::UseStatNoise_Click() {}
void Parlune::Lock_Click() {}
void Parlune::CF_Change() {}
void Parlune::CFUD_Change() {}
void Parlune::SigBW_Change() {}
void Parlune::SigBWUD_Change() {}
void Parlune::GB_Change() {}
void Parlune::FMin_Change() {}
void Parlune::FMax_Change() {}
void Parlune::Wide_Click() {}
void Parlune::SSB_Click() {}
void Parlune::WideCW_Click() {}
void Parlune::CW800_Click() {}
void Parlune::CFToPeak_Click() {}
void Parlune::TrackSig_Click() {}
void Parlune::LogToFile_Click() {}
void Parlune::Timer1_Timer() {}
void Parlune::Spectrum_MouseMove(int, int, double, double) {}
void Parlune::Spectrum_MouseDown(int, int, double, double) {}
void Parlune::RunLoop() {}
void Parlune::LogStep() {}
