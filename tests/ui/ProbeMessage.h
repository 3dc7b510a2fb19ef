// What the driver and the probe library inside the stub agree on: the hook's name, the
// registered message the hook answers, and the bits of its answer.
#pragma once

constexpr const char* ProbeHookName = "ProbeHook";
constexpr const char* ProbeMessageName = "SfxUiProbeSystemMenu";

constexpr unsigned ProbeHasMaximize = 1;
constexpr unsigned ProbeHasSize = 2;
constexpr unsigned ProbeHasMove = 4;
constexpr unsigned ProbeHasClose = 8;
constexpr unsigned ProbeAnswered = 0x100;
