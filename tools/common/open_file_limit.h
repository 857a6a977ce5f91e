#pragma once

namespace kalvo::tools {

// A thousand modules are a thousand sockets, past the usual soft limit of 1024 open files:
// it is raised to the hard limit, which needs no privilege.
void RaiseOpenFileLimit();

} // namespace kalvo::tools
