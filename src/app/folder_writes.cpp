#include "app/folder_writes.h"

#include "app/session.h"

namespace vema {

void FolderWrites::HeldMessages::ShowHeld() {
  std::vector<Message> held;
  held.swap(held_);
  for (const Message& m : held) platform_.ShowMessage(m.text, m.icon);
}

FolderWrites::FolderWrites(Session& session)
    : session_(session), messages_(session.platform()), lock_(session.dir) {}

FolderWrites::~FolderWrites() {
  lock_.Release();
  messages_.ShowHeld();
}

WriterContext FolderWrites::Writers() { return session_.Writers(messages_); }

}  // namespace vema
