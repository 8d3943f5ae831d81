#include "session/Engine.h"

namespace kestrova {

TEngine::TEngine(TInjector& injector, TJoyService& joysticks, TSleeper& sleeper,
                 TProfileDocument& document, TMapper::TStatusSink statusSink)
    : FDocument(document), FMotion(injector), FMapper(injector, joysticks, sleeper, statusSink) {
  FMotion.SetStatusSink(std::move(statusSink));
  FMotion.SetBiasStore(&FBiasFile);
  FMapper.SetDecimalSeparator(document.DecimalSeparator());
  FMapper.SetSlots(document.Slots());
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

void TEngine::Take(const TDocumentChange& change) {
  switch (change.Kind) {
    case TDocumentChange::Edited:
      for (const int slot : change.Slots) FMapper.SetSlot(slot, FDocument.Slot(slot));
      for (const int axis : change.Axes) FMapper.SetTolerance(axis, FDocument.Tolerance(axis));
      if (change.Motion) FMotion.SetSettings(FDocument.Motion());
      break;
    case TDocumentChange::Replaced:
      FMapper.SetSlots(FDocument.Slots());
      FMapper.SetTolerances(FDocument.Tolerances());
      FMotion.SetSettings(FDocument.Motion());
      break;
    case TDocumentChange::Stored:
    case TDocumentChange::Flags:
      break;
  }
}

}  // namespace kestrova
