// The ELF loader has no attach notification; a constructor of the shared
// object runs the attach sequence before dlopen() returns, so before any
// lookup can be called.
#include "library/attach.h"

__attribute__((constructor)) static void RunAttachAtLoad() { tesmaron::OnLibraryAttach(); }
