// The six entry points of the host window runtime over one session, on every system.
// The session is chosen when the link opens: scripted when KVXHOST_SCRIPT names a
// script, the system's default otherwise (HostEnvironment and MakeDefaultSession).
#include <memory>
#include <string>

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

}  // namespace

KVX_HOST_API int32_t KVX_HOST_CALL InitModule(kvx::HostLinkRecord*) {
  Session().Init();
  return 0;
}

KVX_HOST_API int32_t KVX_HOST_CALL WDExecuteCommande(kvx::HostLinkRecord* link, const char* command) {
  State().lastResult = Session().Execute(*link, command ? command : "");
  return 0;
}

KVX_HOST_API int32_t KVX_HOST_CALL nGetValeurRetour() { return State().lastResult; }

KVX_HOST_API double KVX_HOST_CALL dGetValeurRetour() { return static_cast<double>(State().lastResult); }

KVX_HOST_API int32_t KVX_HOST_CALL TermModule(kvx::HostLinkRecord*) {
  Session().Term();
  return 0;
}

KVX_HOST_API int32_t KVX_HOST_CALL LE_HftermineCTX(int32_t value) {
  Session().ReleaseContext(value);
  return 0;
}
