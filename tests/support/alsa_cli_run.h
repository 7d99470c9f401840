// pelmora-cli playing on the tests' ALSA device (tests/support/alsa_test_pcm), with
// its own configuration, settings and no session bus.
#pragma once

#include <fstream>
#include <string>
#include <thread>

#include "support/alsa_test_pcm.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

struct CliRun {
  TempDir dir;
  TestPcmSetup pcm_setup;
  std::string output;
  int status = -1;

  CliRun() {
    pcm_setup.capture = dir.file("dac.raw");
    pcm_setup.events = dir.file("dac.events");
    pcm_setup.inject = dir.file("dac.inject");
    pcm_setup.period_step = 128;
  }
  std::string command(const std::string& args) {
    std::ofstream(dir.file("asound.conf")) << testPcmConfig({pcm_setup});
    return "env -u SONARA_VIRTUAL_DEVICES ALSA_CONFIG_PATH=" + dir.file("asound.conf") +
           " SONARA_ALSA_DEVICES=" + pcm_setup.name + " SONARA_DEFAULTS=" + dir.file("d.plist") +
           " DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.file("no-bus") + " " + PELMORA_CLI_PATH +
           " play --device 'ALSA " + pcm_setup.name + "' " + args + " 2>&1";
  }
  void play(const std::string& args) {
    auto r = runCommand(command(args));
    output = r.out;
    status = r.status;
  }
  // Plays, and asks the device for `failure` once `bytes` reached it.
  void playFailingAt(const std::string& args, size_t bytes, const std::string& failure) {
    std::string cmd = command(args);
    std::thread player([&] {
      auto r = runCommand(cmd);
      output = r.out;
      status = r.status;
    });
    bool reached = waitFor([&] { return fileSize(pcm_setup.capture) >= bytes; });
    injectFailure(pcm_setup.inject, failure);
    player.join();
    EXPECT_TRUE(reached) << output;
  }
  std::string events() const { return readBytes(pcm_setup.events); }
};

