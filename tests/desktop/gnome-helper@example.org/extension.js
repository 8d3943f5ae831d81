// For Kestrova's tests only, in their private data folder: the overview that GNOME Shell starts
// in is left, and /org/kestrova/TestHelper's Focus(class) activates the window of that class, so
// that a test can put clients in front in turn as a user would.

const { Gio } = imports.gi;
const Main = imports.ui.main;

const HelperInterface = `
<node>
  <interface name="org.kestrova.TestHelper">
    <method name="Focus">
      <arg type="s" direction="in" name="wmClass"/>
      <arg type="b" direction="out" name="found"/>
    </method>
  </interface>
</node>`;

class TestHelper {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(HelperInterface, this);
        this._object.export(Gio.DBus.session, '/org/kestrova/TestHelper');
        Main.overview.hide();
    }

    disable() {
        this._object.unexport();
        this._object = null;
    }

    Focus(wmClass) {
        Main.overview.hide();
        for (const actor of global.get_window_actors()) {
            const window = actor.get_meta_window();
            if (window.get_wm_class() === wmClass) {
                Main.activateWindow(window);
                return true;
            }
        }
        return false;
    }
}

function init() {
    return new TestHelper();
}
