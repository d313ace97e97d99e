#include "app/folder_writes.h"

#include <algorithm>

#include "app/session.h"
#include "output/midi_writer.h"

namespace vema {

void FolderWrites::HeldMessages::Withdraw(const std::string& text) {
  std::erase_if(held_, [&text](const Message& m) { return m.text == text; });
}

void FolderWrites::HeldMessages::ShowHeld() {
  std::vector<Message> held;
  held.swap(held_);
  for (const Message& m : held) platform_.ShowMessage(m.text, m.icon);
}

FolderWrites::FolderWrites(Session& session)
    : session_(session),
      messages_(session.platform()),
      lock_(session.dir, session.platform()),
      imageBefore_(session.midiImage) {
  if (lock_.refused()) files_.Fail("");  // nothing is written; the lock has said why
}

FolderWrites::~FolderWrites() { Commit(); }

WriterContext FolderWrites::Writers() {
  WriterContext context = session_.Writers(messages_);
  context.files = &files_;
  return context;
}

bool FolderWrites::Commit(const std::function<void()>& whileLocked) {
  if (committed_) return *committed_;
  bool lockLost = false;
  bool written = false;
  if (!lock_.refused()) {
    // A lock file removed or replaced meanwhile may let another run write here now.
    lockLost = !files_.failed() && lock_.held() && !lock_.StillHeld();
    if (lockLost) files_.Abandon();
    written = !lockLost && files_.Commit();
    if (!written && !lockLost) {
      messages_.ShowMessage(kFileNotCreatedMessage + files_.failedFile().string(), MessageIcon::kStop);
    }
  }
  if (!written) {
    files_.Abandon();
    session_.midiImage = std::move(imageBefore_);
    messages_.Withdraw(kComposedMessage);
  }
  if (written && whileLocked) whileLocked();
  lock_.Release();
  if (lockLost) session_.platform().ShowFolderProblem(FolderProblem::kLockFile, session_.dir);
  messages_.ShowHeld();
  committed_ = written;
  return written;
}

}  // namespace vema
