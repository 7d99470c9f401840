#include "platform/services.h"

#include <mutex>

#include "platform/standalone_main_loop.h"
#include "platform/ui/headless_ui.h"

namespace sonara::platform {
namespace {

// One slot per service: installed, or made on first use by `make`.
template <typename T>
class ServiceSlot {
 public:
  template <typename Make>
  T& get(Make make) {
    std::lock_guard lock(mutex_);
    if (!service_) service_ = make();
    return *service_;
  }
  void install(std::shared_ptr<T> service) {
    std::lock_guard lock(mutex_);
    service_ = std::move(service);
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<T> service_;
};

ServiceSlot<MainLoop> g_loop;
ServiceSlot<ui::UiServices> g_ui;
ServiceSlot<UserDefaults> g_defaults;
ServiceSlot<IdleSleepAssertion> g_idle;

}  // namespace

MainLoop& mainLoop() {
  return g_loop.get([] { return std::make_shared<StandaloneMainLoop>(); });
}
ui::UiServices& uiServices() {
  return g_ui.get([] { return std::make_shared<ui::HeadlessUi>(); });
}
UserDefaults& userDefaults() {
  return g_defaults.get([] { return std::make_shared<UserDefaults>(UserDefaults::defaultPath()); });
}
IdleSleepAssertion& idleSleepAssertion() {
  return g_idle.get([] { return std::make_shared<LogindIdleSleepAssertion>(); });
}

void installMainLoop(std::shared_ptr<MainLoop> loop) { g_loop.install(std::move(loop)); }
void installUiServices(std::shared_ptr<ui::UiServices> ui) { g_ui.install(std::move(ui)); }
void installUserDefaults(std::shared_ptr<UserDefaults> d) { g_defaults.install(std::move(d)); }
void installIdleSleepAssertion(std::shared_ptr<IdleSleepAssertion> a) {
  g_idle.install(std::move(a));
}

}  // namespace sonara::platform
