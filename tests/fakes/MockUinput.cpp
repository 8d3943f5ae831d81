#include "MockUinput.h"

#include <linux/uinput.h>
#include <umockdev.h>

#include <cstdlib>

namespace kestrova::testing {

struct TMockUinput::TImpl {
  UMockdevTestbed* Testbed = nullptr;
  UMockdevIoctlBase* Handler = nullptr;
  GMainContext* Context = nullptr;
  GMainLoop* Loop = nullptr;
  std::thread Thread;
  mutable std::mutex Lock;
  // Every open of the node, in order; a client's address may be reused after it is gone.
  std::vector<TMockDevice> Opened;
  std::map<UMockdevIoctlClient*, std::size_t> Current;

  TMockDevice& Record(UMockdevIoctlClient* client) {
    if (!Current.contains(client)) {
      Current[client] = Opened.size();
      Opened.emplace_back();
    }
    return Opened[Current[client]];
  }

  static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto& impl = *static_cast<TImpl*>(self);
    std::lock_guard lock(impl.Lock);
    impl.Current[client] = impl.Opened.size();
    impl.Opened.emplace_back();
  }

  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto& impl = *static_cast<TImpl*>(self);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const int value = static_cast<int>(*reinterpret_cast<unsigned long*>(arg->data));
    std::lock_guard lock(impl.Lock);
    TMockDevice& device = impl.Record(client);
    if (request == UI_SET_EVBIT) device.EvBits.insert(value);
    if (request == UI_SET_KEYBIT) device.KeyBits.insert(value);
    if (request == UI_SET_RELBIT) device.RelBits.insert(value);
    if (request == UI_SET_ABSBIT) device.AbsBits.insert(value);
    if (request == UI_DEV_CREATE) device.Created = true;
    if (request == UI_DEV_DESTROY) device.Destroyed = true;
    if (request == UI_DEV_SETUP || request == UI_ABS_SETUP) {
      GError* error = nullptr;
      const gsize size = request == UI_DEV_SETUP ? sizeof(uinput_setup) : sizeof(uinput_abs_setup);
      UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, &error);
      if (data == nullptr) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
      }
      if (request == UI_DEV_SETUP) {
        device.Name = reinterpret_cast<const uinput_setup*>(data->data)->name;
      } else {
        const auto* abs = reinterpret_cast<const uinput_abs_setup*>(data->data);
        device.AbsRanges[abs->code] = {abs->absinfo.minimum, abs->absinfo.maximum};
      }
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
  }

  static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto& impl = *static_cast<TImpl*>(self);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    {
      std::lock_guard lock(impl.Lock);
      TMockDevice& device = impl.Record(client);
      const auto count = static_cast<std::size_t>(arg->data_len) / sizeof(input_event);
      const auto* events = reinterpret_cast<const input_event*>(arg->data);
      device.Events.insert(device.Events.end(), events, events + count);
    }
    umockdev_ioctl_client_complete(client, arg->data_len, 0);
    return TRUE;
  }
};

bool TMockUinput::Available() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr &&
         std::string(preload).find("libumockdev-preload") != std::string::npos;
}

TMockUinput::TMockUinput(bool withNode) : FImpl(std::make_unique<TImpl>()) {
  TImpl& impl = *FImpl;
  impl.Testbed = umockdev_testbed_new();
  if (!withNode) return;
  umockdev_testbed_add_from_string(impl.Testbed,
                                   "P: /devices/virtual/misc/uinput\n"
                                   "N: uinput\n"
                                   "E: DEVNAME=/dev/uinput\n"
                                   "E: SUBSYSTEM=misc\n",
                                   nullptr);
  impl.Handler = static_cast<UMockdevIoctlBase*>(g_object_new(UMOCKDEV_TYPE_IOCTL_BASE, nullptr));
  g_signal_connect(impl.Handler, "handle-ioctl", G_CALLBACK(TImpl::OnIoctl), &impl);
  g_signal_connect(impl.Handler, "handle-write", G_CALLBACK(TImpl::OnWrite), &impl);
  g_signal_connect(impl.Handler, "client-connected", G_CALLBACK(TImpl::OnConnected), &impl);
  impl.Context = g_main_context_new();
  impl.Loop = g_main_loop_new(impl.Context, FALSE);
  g_main_context_push_thread_default(impl.Context);
  umockdev_testbed_attach_ioctl(impl.Testbed, "/dev/uinput", impl.Handler, nullptr);
  g_main_context_pop_thread_default(impl.Context);
  impl.Thread = std::thread([&impl] {
    g_main_context_push_thread_default(impl.Context);
    g_main_loop_run(impl.Loop);
    g_main_context_pop_thread_default(impl.Context);
  });
}

TMockUinput::~TMockUinput() {
  TImpl& impl = *FImpl;
  if (impl.Thread.joinable()) {
    // Through the loop's own context: a quit before the loop runs would be lost.
    g_main_context_invoke(
        impl.Context,
        [](gpointer loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        impl.Loop);
    impl.Thread.join();
  }
  if (impl.Loop != nullptr) g_main_loop_unref(impl.Loop);
  if (impl.Context != nullptr) g_main_context_unref(impl.Context);
  g_object_unref(impl.Testbed);
  if (impl.Handler != nullptr) g_object_unref(impl.Handler);
}

std::vector<TMockDevice> TMockUinput::Devices() const {
  std::lock_guard lock(FImpl->Lock);
  return FImpl->Opened;
}

std::optional<TMockDevice> TMockUinput::Device(const std::string& name) const {
  std::optional<TMockDevice> newest;
  for (auto& device : Devices()) {
    if (device.Name == name) newest = device;
  }
  return newest;
}

std::string TMockUinput::Root() const {
  gchar* root = umockdev_testbed_get_root_dir(FImpl->Testbed);
  std::string text = root;
  g_free(root);
  return text;
}

std::vector<std::string> Describe(const std::vector<input_event>& events) {
  std::vector<std::string> lines;
  for (const auto& event : events) {
    const char* type = event.type == EV_SYN   ? "SYN"
                       : event.type == EV_KEY ? "KEY"
                       : event.type == EV_REL ? "REL"
                       : event.type == EV_ABS ? "ABS"
                                              : "?";
    lines.push_back(std::string(type) + " " + std::to_string(event.code) + " " +
                    std::to_string(event.value));
  }
  return lines;
}

}  // namespace kestrova::testing
