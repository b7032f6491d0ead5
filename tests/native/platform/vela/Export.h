#pragma once

// The native build links the foundation statically: nothing is exported or imported.
#define VELA_API
