// The real sound inputs: one backend per capture source of the PulseAudio
// (or PipeWire-Pulse) server, read through libpulse on a thread of the
// stream's own.  Every opened stream has a connection of its own, so an
// input opened after the server came back works however long it was away.
#pragma once
#include "capture/AudioServer.h"
#include "capture/InputBackend.h"

// Appends the server's sources, waiting at most timeoutMs for its replies,
// and says how it answered (nothing is appended unless it Answers).
ServerState AppendPulseInputs(BackendList& list, int timeoutMs);
