package javax.microedition.midlet;

/** A MIDlet as the harness's application manager drives it (see Lifecycle). */
public abstract class MIDlet {
    protected MIDlet() {
        Lifecycle.constructed(this);
    }

    protected abstract void startApp() throws MIDletStateChangeException;

    protected abstract void pauseApp();

    protected abstract void destroyApp(boolean unconditional) throws MIDletStateChangeException;

    public final void notifyDestroyed() {
        Lifecycle.destroyed(this);
    }

    public final void notifyPaused() {
        Lifecycle.paused(this);
    }

    public final String getAppProperty(String key) {
        return Lifecycle.property(key);
    }

    public final void resumeRequest() {
    }
}
