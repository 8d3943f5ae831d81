#include "session/Engine.h"

#include <filesystem>

namespace kestrova {

TEngine::TEngine(TInjector& injector, TJoyService& joysticks, TSleeper& sleeper,
                 TProfileDocument& document, TMapper::TStatusSink statusSink)
    : FDocument(document),
      FMotion(injector),
      FMapper(injector, joysticks, sleeper, statusSink),
      FStatusSink(statusSink) {
  FMotion.SetStatusSink(std::move(statusSink));
  FMapper.SetProfileSink([this](const std::string& file) {
    if (!FPost) return Say("Skipped \"PROFILE " + file + "\": profiles are not switched here");
    FPost([this, alive = std::weak_ptr<int>(FAlive), file] {
      if (alive.lock()) SwitchProfile(file);
    });
  });
  FMotion.SetBiasStore(&FBiasFile);
  FMapper.SetDecimalSeparator(document.DecimalSeparator());
  FMapper.SetSlots(document.Slots());
  FMapper.SetExtraLists(document.Extras());
  FMapper.SetTolerances(document.Tolerances());
  FMotion.SetSettings(document.Motion());
  FMapper.Jstick1.SetMotionSink(&FMotion);
  FSubscription = document.Subscribe([this](const TDocumentChange& change) { Take(change); });
}

TEngine::~TEngine() {
  Shutdown();
  FDocument.Unsubscribe(FSubscription);
}

void TEngine::SetStatusSink(TMapper::TStatusSink statusSink) {
  FStatusSink = statusSink;
  FMapper.SetStatusSink(statusSink);
  FMotion.SetStatusSink(std::move(statusSink));
}

void TEngine::Start() {
  FMapper.Start();
}

void TEngine::Shutdown() {
  FMapper.Shutdown();
  FMotion.Stop();
}

void TEngine::DropQueueAndRelease() {
  FMotion.Stop();
  FMapper.DropQueueAndRelease();
}

void TEngine::Say(const std::string& line) const {
  if (FStatusSink) FStatusSink(line);
}

void TEngine::SwitchProfile(const std::string& file) {
  namespace fs = std::filesystem;
  const std::string refused = "Not switched to " + file + ": ";
  fs::path path(file);
  std::error_code error;
  if (path.is_relative()) {
    const fs::path folder = FDocument.Path().empty() ? fs::current_path(error)
                                                     : fs::path(FDocument.Path()).parent_path();
    path = folder / path;
  }
  path = path.lexically_normal();
  if (!FDocument.Path().empty() && fs::equivalent(path, FDocument.Path(), error)) {
    return Say(refused + "it is the profile running");
  }
  if (!FDocument.Saved()) return Say(refused + "the profile shown has unsaved edits");
  const auto now = std::chrono::steady_clock::now();
  while (!FSwitches.empty() && now - FSwitches.front() >= std::chrono::seconds(1)) {
    FSwitches.pop_front();
  }
  if (static_cast<int>(FSwitches.size()) >= MaxSwitchesPerSecond) {
    return Say(refused + "more than " + std::to_string(MaxSwitchesPerSecond) +
               " switches within a second (profiles that switch to each other?)");
  }
  try {
    ReadProfileFile(path, FDocument.Slots());
  } catch (const EProfileError& failure) {
    return Say(refused + WithMeaning(failure));
  }
  FSwitches.push_back(now);
  DropQueueAndRelease();  // held keys let go first
  FMapper.ForgetHeldEvents();
  const std::string failure = FDocument.TryLoad(path.string());
  if (!failure.empty()) return Say(refused + failure.substr(0, failure.find('\n')));
  Say("Switched to " + file);
}

void TEngine::Take(const TDocumentChange& change) {
  switch (change.Kind) {
    case TDocumentChange::Edited:
      for (const int slot : change.Slots) FMapper.SetSlot(slot, FDocument.Slot(slot));
      for (const int axis : change.Axes) FMapper.SetTolerance(axis, FDocument.Tolerance(axis));
      if (change.Motion) FMotion.SetSettings(FDocument.Motion());
      if (change.Press) FMapper.SetPressParams(FDocument.Extras().Press);
      break;
    case TDocumentChange::Replaced:
      FMapper.SetSlots(FDocument.Slots());
      FMapper.SetExtraLists(FDocument.Extras());
      FMapper.SetTolerances(FDocument.Tolerances());
      FMotion.SetSettings(FDocument.Motion());
      break;
    case TDocumentChange::Stored:
    case TDocumentChange::Flags:
      break;
  }
}

}  // namespace kestrova
