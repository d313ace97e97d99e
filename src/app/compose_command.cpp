#include "app/compose_command.h"

#include "app/session.h"

namespace vema {

// The generation phases arrive in later steps; until then the command says so.
void ComposeCommand(Session& session) {
  session.platform().ShowMessage("作曲機能はまだ使用できません。", MessageIcon::kStop);
}

}  // namespace vema
