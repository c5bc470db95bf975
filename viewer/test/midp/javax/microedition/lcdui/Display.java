package javax.microedition.lcdui;

import java.util.IdentityHashMap;
import java.util.Map;

import javax.microedition.midlet.MIDlet;

public class Display {
    private static final Map<MIDlet, Display> displays = new IdentityHashMap<>();

    Displayable current;

    Display() {
    }

    public static Display getDisplay(MIDlet m) {
        if (m == null) throw new NullPointerException("midlet");
        return displays.computeIfAbsent(m, k -> new Display());
    }

    public boolean isColor() {
        return true;
    }

    public int numColors() {
        return 65536;
    }

    public Displayable getCurrent() {
        return current;
    }

    public void setCurrent(Displayable next) {
        if (next != null) Device.show(this, next);
    }

    public void callSerially(Runnable r) {
        Device.callSerially(r);
    }
}
