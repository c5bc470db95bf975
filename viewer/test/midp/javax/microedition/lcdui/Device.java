package javax.microedition.lcdui;

import java.awt.Rectangle;
import java.awt.image.BufferedImage;
import java.io.InputStream;
import java.lang.ref.WeakReference;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Iterator;
import java.util.List;

/**
 * The harness's phone (not part of MIDP): a screen of its own size held in a picture, the
 * keypad, the soft-key commands, the event queue and a heap of limited size for pictures.
 *
 * Events are delivered one at a time on the caller's thread; after each one the queued
 * serial calls run and the pending repaint is painted, as a phone's event thread would.
 * Picture memory is charged at 4 bytes a pixel; pictures that nothing references any more
 * are collected before the heap is declared full, and a picture that still does not fit
 * raises OutOfMemoryError in the MIDlet, as on a phone.
 */
public final class Device {
    public static final int KEY_UP = -1;
    public static final int KEY_DOWN = -2;
    public static final int KEY_LEFT = -3;
    public static final int KEY_RIGHT = -4;
    public static final int KEY_FIRE = -5;
    public static final int KEY_SOFT1 = -6;
    public static final int KEY_SOFT2 = -7;

    /** A string drawn on the screen, with its box in screen pixels and its colour. */
    public static final class Text {
        public final String text;
        public final Rectangle box;
        public final int color;

        Text(String text, Rectangle box, int color) {
            this.text = text;
            this.box = box;
            this.color = color;
        }

        @Override
        public String toString() {
            return "\"" + text + "\" at " + box.x + "," + box.y + " " + box.width + "x" + box.height;
        }
    }

    private static final class Charge {
        final WeakReference<Image> image;
        final long bytes;

        Charge(Image image, long bytes) {
            this.image = new WeakReference<>(image);
            this.bytes = bytes;
        }
    }

    private static int width = 176;
    private static int height = 208;
    private static BufferedImage screen = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
    private static ClassLoader suite = Device.class.getClassLoader();
    private static long heap = Long.MAX_VALUE;
    private static final List<Charge> charges = new ArrayList<>();
    private static final ArrayDeque<Runnable> serial = new ArrayDeque<>();
    private static Display foreground;
    private static Canvas dirtyCanvas;
    private static Rectangle dirty;
    private static List<Text> texts = new ArrayList<>();
    private static int paints;

    private Device() {
    }

    /** A fresh phone: screen size, the suite whose resources pictures come from, heap bytes for pictures. */
    public static void reset(ClassLoader suiteLoader, int screenWidth, int screenHeight, long heapBytes) {
        width = screenWidth;
        height = screenHeight;
        screen = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
        suite = suiteLoader;
        heap = heapBytes;
        charges.clear();
        serial.clear();
        foreground = null;
        dirtyCanvas = null;
        dirty = null;
        texts = new ArrayList<>();
        paints = 0;
    }

    static int width() {
        return width;
    }

    static int height() {
        return height;
    }

    /** The screen as it is now. */
    public static BufferedImage screen() {
        return screen;
    }

    /** The strings drawn by the last paint. */
    public static List<Text> texts() {
        return new ArrayList<>(texts);
    }

    public static int paints() {
        return paints;
    }

    public static Displayable current() {
        return foreground != null ? foreground.current : null;
    }

    public static List<Command> commands() {
        Displayable d = current();
        return d != null ? new ArrayList<>(d.commands) : new ArrayList<>();
    }

    /** A key pressed and released. */
    public static void press(int keyCode) {
        Displayable d = current();
        if (d instanceof Canvas) {
            ((Canvas) d).keyPressed(keyCode);
            flush();
            ((Canvas) d).keyReleased(keyCode);
        }
        flush();
    }

    /** A key held down long enough for the given number of repeat events. */
    public static void hold(int keyCode, int repeats) {
        Displayable d = current();
        if (d instanceof Canvas) {
            Canvas c = (Canvas) d;
            c.keyPressed(keyCode);
            flush();
            for (int i = 0; i < repeats; i++) {
                c.keyRepeated(keyCode);
                flush();
            }
            c.keyReleased(keyCode);
        }
        flush();
    }

    /** Chooses the current screen's command of this label, as its soft key or menu would. */
    public static void command(String label) {
        Displayable d = current();
        Command found = null;
        if (d != null) {
            for (Command c : d.commands) {
                if (c.getLabel().equals(label)) found = c;
            }
        }
        if (found == null) throw new IllegalStateException("no command \"" + label + "\" on the screen");
        if (d.listener != null) d.listener.commandAction(found, d);
        flush();
    }

    /** Runs queued serial calls and paints what was asked to be repainted. */
    public static void flush() {
        while (!serial.isEmpty()) serial.poll().run();
        if (dirtyCanvas != null && dirtyCanvas == current()) paint(dirtyCanvas);
        dirtyCanvas = null;
        dirty = null;
    }

    private static void paint(Canvas c) {
        List<Text> log = new ArrayList<>();
        Graphics g = new Graphics(screen, log);
        g.setClip(dirty.x, dirty.y, dirty.width, dirty.height);
        c.paint(g);
        texts = log;
        paints++;
    }

    static void show(Display display, Displayable next) {
        Displayable old = display.current;
        foreground = display;
        if (old == next) return;
        display.current = next;
        if (old instanceof Canvas) ((Canvas) old).hideNotify();
        if (next instanceof Canvas) {
            ((Canvas) next).showNotify();
            requestRepaint((Canvas) next, 0, 0, width, height);
        }
    }

    static void requestRepaint(Canvas c, int x, int y, int w, int h) {
        Rectangle r = new Rectangle(x, y, Math.max(0, w), Math.max(0, h)).intersection(new Rectangle(0, 0, width, height));
        if (r.isEmpty()) return;
        if (dirtyCanvas != c) {
            dirtyCanvas = c;
            dirty = r;
        } else {
            dirty = dirty.union(r);
        }
    }

    static void serviceRepaints(Canvas c) {
        if (dirtyCanvas == c && c == current()) paint(c);
        if (dirtyCanvas == c) {
            dirtyCanvas = null;
            dirty = null;
        }
    }

    static void callSerially(Runnable r) {
        serial.add(r);
    }

    static InputStream resource(String name) {
        return suite.getResourceAsStream(name.startsWith("/") ? name.substring(1) : name);
    }

    /** Bytes of pictures still referenced. */
    public static long heapInUse() {
        long used = 0;
        for (Iterator<Charge> i = charges.iterator(); i.hasNext();) {
            Charge c = i.next();
            if (c.image.get() == null) i.remove();
            else used += c.bytes;
        }
        return used;
    }

    /** Makes room for a picture of this many pixels or throws OutOfMemoryError. */
    static void reserve(long pixels) {
        long bytes = pixels * 4;
        if (heap == Long.MAX_VALUE) return;
        for (int attempt = 0; attempt < 3 && heapInUse() + bytes > heap; attempt++) {
            System.gc();
            try {
                Thread.sleep(10);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
        if (heapInUse() + bytes > heap)
            throw new OutOfMemoryError("picture of " + bytes + " bytes with " + heapInUse() + " of " + heap + " in use");
    }

    static void charge(Image image, long pixels) {
        charges.add(new Charge(image, pixels * 4));
    }
}
