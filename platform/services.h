// The platform services the engine uses, installed once by the client before
// Toolkit_Init. Whatever the client does not install is made on first use: a
// standalone main loop, the headless UI, the user's defaults file and logind.
#pragma once

#include <memory>

#include "platform/idle_sleep.h"
#include "platform/main_loop.h"
#include "platform/ui/ui_services.h"
#include "platform/user_defaults.h"

namespace sonara::platform {

MainLoop& mainLoop();
ui::UiServices& uiServices();
UserDefaults& userDefaults();
IdleSleepAssertion& idleSleepAssertion();

// Each replaces the service for the rest of the process (or until replaced again).
void installMainLoop(std::shared_ptr<MainLoop> loop);
void installUiServices(std::shared_ptr<ui::UiServices> ui);
void installUserDefaults(std::shared_ptr<UserDefaults> defaults);
void installIdleSleepAssertion(std::shared_ptr<IdleSleepAssertion> assertion);

}  // namespace sonara::platform
