// The six entry points of the host window runtime over one session, on every system.
// The session is chosen when the link opens: scripted when KVXHOST_SCRIPT names a
// script, the system's default otherwise (HostEnvironment and MakeDefaultSession).
#include <memory>
#include <string>

#include "base/exception_text.h"
#include "host/host_link.h"
#include "standins/host/host_session.h"

namespace {

struct Runtime {
  std::unique_ptr<kvxhost::HostSession> session;
  std::string scriptPath;  // the script the session was made for
  int32_t lastResult = 0;
};

Runtime& State() {
  static Runtime runtime;
  return runtime;
}

// A new script (tests running the toolbox several times in one process) starts a new session.
kvxhost::HostSession& Session() {
  Runtime& runtime = State();
  const std::string script = kvxhost::HostEnvironment("KVXHOST_SCRIPT");
  if (!runtime.session || script != runtime.scriptPath) {
    runtime.scriptPath = script;
    runtime.session = script.empty() ? kvxhost::MakeWindowSession()
                                     : kvxhost::MakeScriptSession(script, kvxhost::HostEnvironment("KVXHOST_LOG"));
  }
  return *runtime.session;
}

// No exception may leave the runtime into the toolbox's frames: a call that throws
// answers as a script with no answer left (the result 0, an input ESC) and returns -1,
// the reason going to TellFailure.
template <typename Work>
int32_t Guarded(Work&& work, kvx::HostLinkRecord* link = nullptr) noexcept {
  try {
    work();
    return 0;
  } catch (...) {
    State().lastResult = 0;
    if (link) kvxhost::WriteButtonCode(*link, "ESC");
    try {
      kvxhost::TellFailure(kvx::CurrentExceptionText());
    } catch (...) {  // no memory for the text
    }
    return -1;
  }
}

}  // namespace

KVX_HOST_API int32_t KVX_HOST_CALL InitModule(kvx::HostLinkRecord*) {
  return Guarded([] { Session().Init(); });
}

KVX_HOST_API int32_t KVX_HOST_CALL WDExecuteCommande(kvx::HostLinkRecord* link, const char* command) {
  return Guarded([&] { State().lastResult = Session().Execute(*link, command ? command : ""); }, link);
}

KVX_HOST_API int32_t KVX_HOST_CALL nGetValeurRetour() { return State().lastResult; }

KVX_HOST_API double KVX_HOST_CALL dGetValeurRetour() { return static_cast<double>(State().lastResult); }

KVX_HOST_API int32_t KVX_HOST_CALL TermModule(kvx::HostLinkRecord*) {
  return Guarded([] { Session().Term(); });
}

KVX_HOST_API int32_t KVX_HOST_CALL LE_HftermineCTX(int32_t value) {
  return Guarded([&] { Session().ReleaseContext(value); });
}
