// What a process test of the main flow holds: a dbxhost process with its
// sockets in a private folder, a work folder for the design it serves, and
// Tandrel's main form driving it with a scripted user interface. Everything
// goes, folders included, with the session.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/tform1.h"
#include "dbx/socketdbx.h"
#include "hostprocess.h"
#include "scriptedui.h"

namespace tandrel::testing {

class FormSession {
 public:
  explicit FormSession(const std::string& name)
      : dir(makePrivateTempDir(name + "-e2e")), work(makePrivateTempDir(name + "-work")) {}
  ~FormSession() {
    form.reset();
    host.reset();
    std::filesystem::remove_all(dir);
    std::filesystem::remove_all(work);
  }
  FormSession(const FormSession&) = delete;
  FormSession& operator=(const FormSession&) = delete;

  // Starts the host on the design and the main form beside it.
  void start(const std::string& design) {
    host = std::make_unique<HostProcess>(design, dir);
    form = std::make_unique<TForm1>(dbx);
    form->FormCreate();
  }

  testing_diag::ScriptedUi ui;
  const std::string dir;   // the host's sockets
  const std::string work;  // the design's folder
  std::unique_ptr<HostProcess> host;
  DBX::SocketDbx dbx{dir};
  std::unique_ptr<TForm1> form;
};

}  // namespace tandrel::testing
