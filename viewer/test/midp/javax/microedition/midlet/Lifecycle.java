package javax.microedition.midlet;

import java.util.jar.Attributes;

/**
 * The harness's application manager (not part of MIDP): starts the MIDlet that a suite's
 * manifest names in "MIDlet-1", pauses, resumes and remembers whether it asked to leave.
 */
public final class Lifecycle {
    private static Attributes attributes = new Attributes();
    private static MIDlet current;
    private static boolean destroyed;
    private static boolean paused;
    private static boolean constructing;

    private Lifecycle() {
    }

    /** Loads and starts the suite's first MIDlet from its class loader. */
    public static MIDlet launch(ClassLoader suite, Attributes manifest) throws Exception {
        attributes = manifest;
        destroyed = false;
        paused = false;
        String entry = manifest.getValue("MIDlet-1");
        if (entry == null) throw new IllegalStateException("the manifest has no MIDlet-1 line");
        // "name, icon, class": the class comes after the last comma.
        String className = entry.substring(entry.lastIndexOf(',') + 1).trim();
        Class<?> type = Class.forName(className, true, suite);
        if (!MIDlet.class.isAssignableFrom(type)) throw new IllegalStateException(className + " is no MIDlet");
        constructing = true;
        try {
            current = (MIDlet) type.getConstructor().newInstance();
        } finally {
            constructing = false;
        }
        start(current);
        return current;
    }

    public static void start(MIDlet m) throws MIDletStateChangeException {
        paused = false;
        m.startApp();
    }

    public static void pause(MIDlet m) {
        m.pauseApp();
        paused = true;
    }

    public static boolean isDestroyed() {
        return destroyed;
    }

    public static boolean isPaused() {
        return paused;
    }

    static void constructed(MIDlet m) {
        // A phone lets only its application manager make MIDlets.
        if (!constructing) throw new SecurityException("MIDlets are made by the application manager");
    }

    static void destroyed(MIDlet m) {
        destroyed = true;
    }

    static void paused(MIDlet m) {
        paused = true;
    }

    /** The suite that is running, as the phone tells suites apart: its name and its vendor. */
    public static String suite() {
        return attributes.getValue("MIDlet-Name") + "\u0000" + attributes.getValue("MIDlet-Vendor");
    }

    static String property(String key) {
        return attributes.getValue(key);
    }
}
