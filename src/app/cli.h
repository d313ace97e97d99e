// The console front end, callable from tests.
#pragma once

#include <iosfwd>

namespace vema {

// Exit status: 0 when no stop-icon message was shown, 1 when one was, 2 for a usage error.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace vema
