#pragma once
// The hooks and observers through which the modules reach the operator's
// pages and the service windows without knowing them; the start-up installs
// them once the windows exist.

void InstallHooks();
