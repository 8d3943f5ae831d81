// Tells Kestrova which window has the focus: the object /org/kestrova/Focus on GNOME Shell's
// own connection to the session bus answers GetFocus() and sends FocusChanged at each change,
// with the window's application id, its class and instance (a Wayland window's application id
// on Wayland), and its process id (0 when it does not say). Kestrova takes them only from the
// owner of org.gnome.Shell. Written for GNOME Shell 43 and 44 (their extension system).

const { Gio, GLib, Shell } = imports.gi;

const FocusInterface = `
<node>
  <interface name="org.kestrova.Focus">
    <method name="GetFocus">
      <arg type="s" direction="out" name="appId"/>
      <arg type="s" direction="out" name="wmClass"/>
      <arg type="s" direction="out" name="wmClassInstance"/>
      <arg type="u" direction="out" name="pid"/>
    </method>
    <signal name="FocusChanged">
      <arg type="s" name="appId"/>
      <arg type="s" name="wmClass"/>
      <arg type="s" name="wmClassInstance"/>
      <arg type="u" name="pid"/>
    </signal>
  </interface>
</node>`;

const FocusPath = '/org/kestrova/Focus';

class KestrovaFocus {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(FocusInterface, this);
        this._object.export(Gio.DBus.session, FocusPath);
        this._handler = global.display.connect('notify::focus-window', () => this._changed());
        this._changed();
    }

    disable() {
        if (this._handler) global.display.disconnect(this._handler);
        this._handler = 0;
        if (this._object) this._object.unexport();
        this._object = null;
    }

    // [application id, class, instance, process id] of the focused window; empty for none.
    _focus() {
        const window = global.display.focus_window;
        if (!window) return ['', '', '', 0];
        const app = Shell.WindowTracker.get_default().get_window_app(window);
        let appId = app ? app.get_id() || '' : '';
        if (appId.endsWith('.desktop')) appId = appId.slice(0, -'.desktop'.length);
        const pid = window.get_pid();
        return [appId, window.get_wm_class() || '', window.get_wm_class_instance() || '',
            pid > 0 ? pid : 0];
    }

    GetFocus() {
        return this._focus();
    }

    _changed() {
        if (!this._object) return;
        this._object.emit_signal('FocusChanged', new GLib.Variant('(sssu)', this._focus()));
    }
}

function init() {
    return new KestrovaFocus();
}
