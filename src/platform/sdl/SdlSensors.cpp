#include "SdlSensors.h"

#include <numbers>
#include <string>

namespace kestrova::sdl {

namespace {

// Pads whose gyro SDL reads through their hidraw node: DualShock 4 (both models and the wireless
// adapter), DualSense and DualSense Edge, Switch Pro and the Joy-Cons.
bool KnownToHaveSensors(Uint16 vendor, Uint16 product) {
  if (vendor == 0x054c) {
    return product == 0x05c4 || product == 0x09cc || product == 0x0ba0 || product == 0x0ce6 ||
           product == 0x0df2;
  }
  return vendor == 0x057e && (product == 0x2009 || product == 0x2006 || product == 0x2007);
}

}  // namespace

void EnableSensors(SDL_GameController* pad) {
  for (const SDL_SensorType type : {SDL_SENSOR_GYRO, SDL_SENSOR_ACCEL}) {
    if (SDL_GameControllerHasSensor(pad, type))
      SDL_GameControllerSetSensorEnabled(pad, type, SDL_TRUE);
  }
}

bool SampleOf(const SDL_Event& event, SDL_JoystickID& instance, TPadSample& sample) {
  switch (event.type) {
    case SDL_CONTROLLERSENSORUPDATE: {
      const SDL_ControllerSensorEvent& sensor = event.csensor;
      if (sensor.sensor != SDL_SENSOR_GYRO && sensor.sensor != SDL_SENSOR_ACCEL) return false;
      instance = sensor.which;
      sample.Kind = sensor.sensor == SDL_SENSOR_GYRO ? TPadSample::Gyro : TPadSample::Accel;
      sample.TimeUs = sensor.timestamp_us != 0 ? sensor.timestamp_us : NowUs();
      // SDL gives the gyro in radians a second.
      const float scale = sample.Kind == TPadSample::Gyro ? 180 / std::numbers::pi_v<float> : 1;
      for (int axis = 0; axis < 3; ++axis) sample.Values[axis] = sensor.data[axis] * scale;
      return true;
    }
    case SDL_CONTROLLERTOUCHPADDOWN:
    case SDL_CONTROLLERTOUCHPADMOTION:
    case SDL_CONTROLLERTOUCHPADUP: {
      const SDL_ControllerTouchpadEvent& touch = event.ctouchpad;
      if (touch.touchpad != 0) return false;
      instance = touch.which;
      sample.Kind = event.type == SDL_CONTROLLERTOUCHPADDOWN     ? TPadSample::TouchDown
                    : event.type == SDL_CONTROLLERTOUCHPADMOTION ? TPadSample::TouchMotion
                                                                 : TPadSample::TouchUp;
      sample.TimeUs = NowUs();
      sample.Values[0] = touch.x;
      sample.Values[1] = touch.y;
      sample.Values[2] = touch.pressure;
      sample.Finger = touch.finger;
      return true;
    }
    default:
      return false;
  }
}

TPadFeatures FeaturesOf(SDL_GameController* pad, SDL_Joystick* joystick, bool softwareSensors) {
  TPadFeatures features;
  char guid[64] = {};
  SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(joystick), guid, sizeof guid);
  const char* serial = SDL_JoystickGetSerial(joystick);
  features.Key =
      std::string(guid) + (serial != nullptr && serial[0] != '\0' ? ":" + std::string(serial) : "");
  if (softwareSensors) {
    features.Gyro = features.Accel = features.Touchpad = true;
    return features;
  }
  if (pad == nullptr) return features;
  features.Gyro = SDL_GameControllerIsSensorEnabled(pad, SDL_SENSOR_GYRO);
  features.Accel = SDL_GameControllerIsSensorEnabled(pad, SDL_SENSOR_ACCEL);
  features.Touchpad = SDL_GameControllerGetNumTouchpads(pad) > 0;
  if (!features.Gyro &&
      KnownToHaveSensors(SDL_JoystickGetVendor(joystick), SDL_JoystickGetProduct(joystick))) {
    features.SensorProblem =
        SDL_GameControllerHasSensor(pad, SDL_SENSOR_GYRO)
            ? "its gyro would not switch on"
            : "its gyro and touchpad are read through its hidraw node, which this user may not "
              "open: install the udev rule 61-kestrova-hidraw.rules (the package does), then "
              "plug the pad in again";
  }
  return features;
}

}  // namespace kestrova::sdl
