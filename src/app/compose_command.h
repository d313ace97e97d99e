// The compose command: every phase of one composition in its fixed order.
#pragma once

namespace vema {

struct Session;

void ComposeCommand(Session& session);

}  // namespace vema
