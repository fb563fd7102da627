// The real sound inputs: one backend per Qt Multimedia audio input
// (PulseAudio or PipeWire on Linux), captured through QAudioSource in push mode.
#pragma once
#include "capture/InputBackend.h"

// Appends one backend per entry of QMediaDevices::audioInputs(), in Qt's order.
void AppendQtInputs(BackendList& list);
