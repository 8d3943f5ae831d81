// TJstick: its properties, axis conditioning and null zone, capability queries and its poll thread.

#include <dirent.h>

#include <chrono>
#include <thread>

#include "joystick/JoystickFixture.h"

namespace kestrova::testing {
namespace {

class JstickTest : public ::testing::Test {
 protected:
  TScriptedJoyService Service;
  TJstick Stick{Service};

  TAxisValues ReadWithX(std::uint32_t raw) {
    Service.SetAxis(0, jaX, raw);
    return Stick.ReadPosition();
  }
};

TEST_F(JstickTest, DefaultsAndWriteRules) {
  EXPECT_FALSE(Stick.EnablePolling());
  EXPECT_EQ(Stick.JoystickID(), 1);
  EXPECT_TRUE(Stick.MonitorAxis() && Stick.MonitorButtons() && Stick.MonitorPov());
  EXPECT_EQ(Stick.ThreadIntensity(), 10u);
  EXPECT_EQ(Stick.ThreadPriority(), tpNormal);
  EXPECT_TRUE(Stick.NormalizeAxis() && Stick.UseRange() && Stick.UseNullZone());
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    EXPECT_EQ(Stick.NullZone(static_cast<TJoyAxis>(axis)), 10u);
    EXPECT_EQ(Stick.Range(static_cast<TJoyAxis>(axis)), 1000u);
  }

  for (std::uint32_t bad : {0u, 100u, 250u, 0xFFFFFFFFu}) {
    Stick.SetNullZoneX(5);
    Stick.SetNullZoneX(bad);
    EXPECT_EQ(Stick.NullZoneX(), 10u) << bad;
  }
  Stick.SetNullZoneX(1);
  EXPECT_EQ(Stick.NullZoneX(), 1u);
  Stick.SetNullZoneV(99);
  EXPECT_EQ(Stick.NullZoneV(), 99u);
  Stick.SetRangeZ(0);
  EXPECT_EQ(Stick.RangeZ(), 0u);

  for (int bad : {0, -3, 17}) {
    Stick.SetJoystickID(5);
    Stick.SetJoystickID(bad);
    EXPECT_EQ(Stick.JoystickID(), 1) << bad;
  }
  Stick.SetJoystickID(16);
  EXPECT_EQ(Stick.JoystickID(), 16);
  Stick.ReadPosition();
  EXPECT_EQ(Service.LastPositionNumber(), 15u);
}

TEST_F(JstickTest, DefaultConditioningOfAFullRangeStick) {
  auto rest = ReadWithX(32767);
  EXPECT_EQ(rest.Value[jaX], -1);
  EXPECT_FLOAT_EQ(rest.Percent[jaX], 49.99924f);
  auto left = ReadWithX(0);
  EXPECT_EQ(left.Value[jaX], -500);
  EXPECT_FLOAT_EQ(left.Percent[jaX], 0.0f);
  auto right = ReadWithX(65535);
  EXPECT_EQ(right.Value[jaX], 500);
  EXPECT_FLOAT_EQ(right.Percent[jaX], 100.0f);
  EXPECT_EQ(ReadWithX(1000).Value[jaX], -484);  // the null zone gives 1111
  // Anywhere inside the zone reads as rest.
  EXPECT_EQ(ReadWithX(29492).Value[jaX], -1);
  EXPECT_EQ(ReadWithX(36042).Value[jaX], -1);

  // The twelve-out-parameter form gives the same.
  Service.SetAxes(0, {0, 65535, 32767, 32767, 32767, 32767});
  int X, Y, Z, R, U, V;
  float pcX, pcY, pcZ, pcR, pcU, pcV;
  Stick.ReadPosition(X, Y, Z, R, U, V, pcX, pcY, pcZ, pcR, pcU, pcV);
  EXPECT_EQ(X, -500);
  EXPECT_EQ(Y, 500);
  EXPECT_EQ(V, -1);
  EXPECT_FLOAT_EQ(pcY, 100.0f);
  EXPECT_FLOAT_EQ(pcZ, 49.99924f);
}

TEST_F(JstickTest, MappingChoices) {
  Stick.SetUseRange(false);
  EXPECT_EQ(ReadWithX(32767).Value[jaX], 0);
  EXPECT_EQ(ReadWithX(0).Value[jaX], -32767);
  EXPECT_EQ(ReadWithX(65535).Value[jaX], 32768);
  Stick.SetNormalizeAxis(false);
  EXPECT_EQ(ReadWithX(0).Value[jaX], 0);
  EXPECT_EQ(ReadWithX(65535).Value[jaX], 65535);
  Stick.SetUseRange(true);
  EXPECT_EQ(ReadWithX(65535).Value[jaX], 1000);
  EXPECT_EQ(ReadWithX(32767).Value[jaX], 499);
  Stick.SetUseNullZone(false);
  EXPECT_EQ(ReadWithX(1000).Value[jaX], 15);  // raw 1000 * 1000 div 65535
  Stick.SetNormalizeAxis(true);
  Stick.SetUseNullZone(true);
  Stick.SetRangeX(0);
  EXPECT_EQ(ReadWithX(65535).Value[jaX], 0);
}

// A controller whose axis reports 1000 .. 3000: centred on 2000, full deflection at its bounds,
// as a 0 .. 65535 one is (taken as it stood, its centre fell on 1000 and rest read as a push).
TEST_F(JstickTest, BoundsThatDoNotStartAtZero) {
  Service.SetCaps(0, MakeJoyCaps(1000, 3000, 0));
  const auto at = [this](std::uint32_t raw) {
    Service.SetAxes(0, {raw, 2000, 2000, 2000, 2000, 2000});
    return Stick.ReadPosition();
  };
  EXPECT_EQ(at(2000).Value[jaX], 0);
  EXPECT_EQ(at(1900).Value[jaX], 0);  // inside the null zone
  EXPECT_EQ(at(1000).Value[jaX], -500);
  EXPECT_FLOAT_EQ(at(1000).Percent[jaX], 0.0f);
  EXPECT_EQ(at(3000).Value[jaX], 500);
  EXPECT_FLOAT_EQ(at(3000).Percent[jaX], 100.0f);
  EXPECT_EQ(at(500).Value[jaX], -500);  // below the minimum: the minimum
  EXPECT_EQ(at(2000).Value[jaY], 0);
  // Not answering: at rest, as any silent controller reads.
  Service.SetAnswering(0, false);
  EXPECT_EQ(Stick.ReadPosition().Value[jaX], -1);
}

TEST_F(JstickTest, DegenerateAndAbsentAxes) {
  JOYCAPSA caps = MakeJoyCaps(0, 65535, JOYCAPS_HASR);
  caps.wRmin = caps.wRmax = 0;  // bounds 0..0: Max counts as 1, C = Z = 0
  Service.SetCaps(0, caps);
  Service.SetAxes(0, {32767, 32767, 33000, 0, 33000, 33000});
  auto values = Stick.ReadPosition();
  EXPECT_EQ(values.Value[jaR], 500);
  EXPECT_FLOAT_EQ(values.Percent[jaR], 100.0f);
  // Z, U and V are absent: not null-zoned, but still mapped.
  EXPECT_EQ(values.Value[jaZ], 3);
  EXPECT_EQ(values.Value[jaU], 3);
  caps.wCaps |= JOYCAPS_HASZ;
  Service.SetCaps(0, caps);
  EXPECT_EQ(Stick.ReadPosition().Value[jaZ], -1);

  EXPECT_TRUE(Stick.HasZ());
  EXPECT_TRUE(Stick.HasR());
  EXPECT_FALSE(Stick.HasU());
  EXPECT_FALSE(Stick.HasV());
  EXPECT_EQ(Stick.RMax(), 0u);
  EXPECT_EQ(Stick.XMax(), 65535u);
}

TEST_F(JstickTest, CapabilityQueriesAskAfreshEachTime) {
  JOYCAPSA caps = MakeJoyCaps(0, 65535, AllAxes);
  caps.wXmin = 1;
  caps.wYmax = 2;
  caps.wZmin = 3;
  caps.wRmax = 4;
  caps.wUmin = 5;
  caps.wVmax = 6;
  Service.SetCaps(0, caps);
  const int before = Service.CapsQueries();
  EXPECT_EQ(Stick.XMin(), 1u);
  EXPECT_EQ(Stick.YMax(), 2u);
  EXPECT_EQ(Stick.ZMin(), 3u);
  EXPECT_EQ(Stick.RMax(), 4u);
  EXPECT_EQ(Stick.UMin(), 5u);
  EXPECT_EQ(Stick.VMax(), 6u);
  EXPECT_EQ(Service.CapsQueries() - before, 6);
}

TEST_F(JstickTest, SilentControllerReadsAsRest) {
  Service.SetAnswering(0, false);
  Service.SetAxes(0, {0, 0, 0, 0, 0, 0});
  const auto values = Stick.ReadPosition();
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    EXPECT_EQ(values.Value[axis], -1);
    EXPECT_FLOAT_EQ(values.Percent[axis], 49.99924f);
  }
}

TEST(ApplyNullZone, ArithmeticCases) {
  EXPECT_EQ(ApplyNullZone(500, 0, 0, 1, 0), 1);  // C = Z
  EXPECT_EQ(ApplyNullZone(32767, 32767, 3276, 65535, 0), 32767);
  EXPECT_EQ(ApplyNullZone(29492, 32767, 3276, 65535, 0), 32767);  // inside, strictly
  EXPECT_EQ(ApplyNullZone(29490, 32767, 3276, 65535, 0), 32765);  // just outside
  EXPECT_EQ(ApplyNullZone(36044, 32767, 3276, 65535, 0), 32768);
  EXPECT_EQ(ApplyNullZone(1000, 32767, 3276, 65535, 0), 1111);
  EXPECT_EQ(ApplyNullZone(65535, 32767, 3276, 65535, 0), 65535);
  // Products past 32 bits wrap instead of being undefined.
  EXPECT_EQ(ApplyNullZone(2000000000, 1000000, 10, 2000000, 0),
            static_cast<std::int32_t>(
                1000000 + static_cast<std::int32_t>(
                              static_cast<std::uint32_t>(2000000000 - 1000000 - 10) * 2000000u) /
                              999990 / 2));
}

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

TEST_F(JstickTest, PollingStartsOneThreadAndNotWhileDesigning) {
  std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread
  const int before = ThreadCount();
  Stick.SetEnablePolling(true);
  Stick.SetEnablePolling(true);
  EXPECT_TRUE(Stick.EnablePolling());
  EXPECT_EQ(ThreadCount(), before + 1);
  Stick.SetEnablePolling(false);
  Stick.SetEnablePolling(false);
  Stick.WaitForPollThread();
  EXPECT_EQ(ThreadCount(), before);

  TJstick designed(Service);
  designed.SetDesigning(true);
  designed.SetEnablePolling(true);
  EXPECT_FALSE(designed.EnablePolling());
  EXPECT_EQ(ThreadCount(), before);
}

}  // namespace
}  // namespace kestrova::testing
