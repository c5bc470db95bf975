import java.awt.Rectangle;
import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.jar.JarFile;
import java.util.zip.ZipEntry;

import javax.imageio.ImageIO;
import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.Device;
import javax.microedition.midlet.Lifecycle;
import javax.microedition.midlet.MIDlet;

/**
 * Reads a comic book JAR on the harness's 176 x 208 phone and checks what the reader sees,
 * by the screen's pixels and the strings drawn on it:
 * the title screen (logo, book name, author), every page at the top-left corner, panning to
 * the far corner of pages larger than the screen and back, next and previous walking all
 * pages and stopping at both ends (by commands and by keys), the page number and description
 * shown and hidden, a message instead of a page that is missing, damaged or too large for
 * the heap, a pause and resume that keeps the page, and the exit command.
 *
 * What the book holds is learned from the JAR with Java's own ZIP and PNG readers, so the
 * test works for any book: the ones assembled by make-books.sh and the ones panelle-cli builds.
 *
 * Usage: java ViewerTest BOOK.jar SCREENSHOT-FOLDER [HEAP-BYTES]
 */
public class ViewerTest {
    static final int W = 176;
    static final int H = 208;
    // The reader's command labels: next page, previous page, page info, exit.
    static final String NEXT = "\u4e0b\u4e00\u9875";
    static final String PREVIOUS = "\u4e0a\u4e00\u9875";
    static final String INFO = "\u8bf4\u660e";
    static final String EXIT = "\u9000\u51fa";

    final File jarFile;
    final File shots;
    final long heap;
    int passed;
    int failed;

    // The book as Java SE reads it.
    String bookName = "";
    String author = "";
    int announced;
    final Map<Integer, String> descriptions = new HashMap<>();
    final List<BufferedImage> pages = new ArrayList<>();   // null: missing or not a PNG
    BufferedImage logo;

    ViewerTest(File jarFile, File shots, long heap) {
        this.jarFile = jarFile;
        this.shots = shots;
        this.heap = heap;
    }

    public static void main(String[] args) throws Exception {
        if (args.length < 2) {
            System.err.println("usage: java ViewerTest BOOK.jar SCREENSHOT-FOLDER [HEAP-BYTES]");
            System.exit(2);
        }
        ViewerTest t = new ViewerTest(new File(args[0]), new File(args[1]), args.length > 2 ? Long.parseLong(args[2]) : Long.MAX_VALUE);
        t.shots.mkdirs();
        try {
            t.run();
        } catch (Throwable e) {
            t.failed++;
            System.out.println("FAIL: the run stopped: " + e);
            e.printStackTrace(System.out);
        }
        System.out.println(t.passed + " passed, " + t.failed + " failed");
        System.exit(t.failed == 0 ? 0 : 1);
    }

    void check(boolean ok, String what) {
        if (ok) {
            passed++;
        } else {
            failed++;
            System.out.println("FAIL: " + what);
        }
    }

    // ---- the book, read independently ---------------------------------------------------

    void readBook() throws IOException {
        try (JarFile jar = new JarFile(jarFile)) {
            ZipEntry d = jar.getEntry("desc.txt");
            if (d != null) {
                byte[] bytes;
                try (InputStream in = jar.getInputStream(d)) {
                    bytes = in.readAllBytes();
                }
                int skip = bytes.length >= 2 && (bytes[0] & 0xFF) == 0xFF && (bytes[1] & 0xFF) == 0xFE ? 2 : 0;
                String text = new String(bytes, skip, bytes.length - skip, StandardCharsets.UTF_16LE);
                int listed = 0;
                for (String line : text.split("\r?\n")) {
                    if (line.startsWith("bookname:")) bookName = line.substring(9);
                    else if (line.startsWith("author:")) author = line.substring(7);
                    else if (line.startsWith("piccount:") && line.substring(9).trim().matches("\\d{1,4}"))
                        announced = Integer.parseInt(line.substring(9).trim());
                    else if (line.matches("\\d+:.*")) {
                        int n = Integer.parseInt(line.substring(0, line.indexOf(':')));
                        descriptions.put(n, line.substring(line.indexOf(':') + 1));
                        listed = Math.max(listed, n + 1);
                    }
                }
                announced = Math.max(announced, listed);
            }
            // Pages the archive holds beyond those announced are part of the book too.
            int count = announced;
            while (jar.getEntry(count + ".png") != null) count++;
            for (int i = 0; i < count; i++) pages.add(picture(jar, i + ".png"));
            logo = picture(jar, "logo1.png");
        }
    }

    static BufferedImage picture(JarFile jar, String name) throws IOException {
        ZipEntry e = jar.getEntry(name);
        if (e == null) return null;
        try (InputStream in = jar.getInputStream(e)) {
            return ImageIO.read(new ByteArrayInputStream(in.readAllBytes()));
        } catch (IOException | RuntimeException bad) {
            return null;
        }
    }

    /** Whether the reader can be expected to show page i's picture on this phone. */
    boolean showable(int i) {
        BufferedImage p = pages.get(i);
        return p != null && (long) p.getWidth() * p.getHeight() * 4 <= heap;
    }

    // ---- reading the screen ---------------------------------------------------------------

    static BufferedImage copy(BufferedImage b) {
        BufferedImage c = new BufferedImage(b.getWidth(), b.getHeight(), BufferedImage.TYPE_INT_RGB);
        c.getGraphics().drawImage(b, 0, 0, null);
        return c;
    }

    static boolean same(BufferedImage a, BufferedImage b) {
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++)
                if (a.getRGB(x, y) != b.getRGB(x, y)) return false;
        return true;
    }

    /** Whether the screen's rectangle (sx, sy, w, h) shows picture p from (px, py) on, pixel for pixel. */
    static boolean shows(BufferedImage screen, int sx, int sy, BufferedImage p, int px, int py, int w, int h) {
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                int want = p.getRGB(px + x, py + y);
                if ((want >>> 24) != 0xFF) continue;   // a see-through pixel shows what lies behind
                if ((screen.getRGB(sx + x, sy + y) & 0xFFFFFF) != (want & 0xFFFFFF)) return false;
            }
        }
        return true;
    }

    /** The page's part at offset (left, top) fills the screen from its top-left corner. */
    boolean showsPageAt(int i, int left, int top) {
        BufferedImage p = pages.get(i);
        return shows(Device.screen(), 0, 0, p, left, top, Math.min(W, p.getWidth() - left), Math.min(H, p.getHeight() - top));
    }

    static String allText() {
        StringBuilder b = new StringBuilder();
        for (Device.Text t : Device.texts()) b.append(t.text);
        return b.toString().replaceAll("\\s", "");
    }

    static boolean drawn(String s) {
        return allText().contains(s.replaceAll("\\s", ""));
    }

    void shot(String name) throws IOException {
        ImageIO.write(Device.screen(), "png", new File(shots, name + ".png"));
    }

    String label(int i) {
        return (i + 1) + "/" + pages.size();
    }

    /** The reader shows page i at its top-left (the info band hidden), or the message for it. */
    void expectPage(int i, String how) {
        if (showable(i)) {
            check(showsPageAt(i, 0, 0), how + ": page " + i + " shown at the top-left corner");
        } else {
            boolean anyPage = false;
            for (int k = 0; k < pages.size(); k++)
                if (showable(k) && showsPageAt(k, 0, 0)) anyPage = true;
            check(!anyPage && drawn(String.valueOf(i + 1)) && Device.texts().size() >= 2,
                    how + ": page " + i + " cannot be shown, so a message names it (drawn: " + Device.texts() + ")");
        }
    }

    // ---- the run --------------------------------------------------------------------------

    void run() throws Exception {
        readBook();
        try (URLClassLoader suite = new URLClassLoader(new URL[] {jarFile.toURI().toURL()}, ViewerTest.class.getClassLoader());
             JarFile jar = new JarFile(jarFile)) {
            Device.reset(suite, W, H, heap);
            MIDlet midlet = Lifecycle.launch(suite, jar.getManifest().getMainAttributes());
            Device.flush();
            title();
            if (pages.isEmpty()) {
                Device.press(Canvas.KEY_NUM5);
                check(drawn(bookName), "a book without pages stays on its title screen");
            } else {
                firstPage();
                walk();
                for (int i = 0; i < pages.size(); i++) pan(i);
                info();
                pauseAndResume(midlet);
            }
            Device.command(EXIT);
            check(Lifecycle.isDestroyed(), "the exit command ends the MIDlet");
        }
    }

    void title() throws IOException {
        shot("title");
        check(Device.current() instanceof Canvas, "the MIDlet shows a canvas");
        check(Device.paints() > 0, "the title screen is painted");
        Rectangle logoBox = null;
        if (logo != null) {
            BufferedImage screen = Device.screen();
            for (int y = 0; y + logo.getHeight() <= H && logoBox == null; y++)
                for (int x = 0; x + logo.getWidth() <= W && logoBox == null; x++)
                    if (shows(screen, x, y, logo, 0, 0, logo.getWidth(), logo.getHeight()))
                        logoBox = new Rectangle(x, y, logo.getWidth(), logo.getHeight());
            check(logoBox != null, "the title screen shows logo1.png whole");
        }
        check(drawn(bookName), "the title screen shows the book name \"" + bookName + "\" (drawn: " + Device.texts() + ")");
        check(drawn(author), "the title screen shows the author \"" + author + "\"");
        for (Device.Text t : Device.texts()) {
            check(new Rectangle(0, 0, W, H).contains(t.box), "title text inside the screen: " + t);
            if (logoBox != null) check(!logoBox.intersects(t.box), "title text clear of the logo: " + t);
        }
        List<String> labels = new ArrayList<>();
        int exitType = 0;
        for (Command c : Device.commands()) {
            labels.add(c.getLabel());
            if (c.getLabel().equals(EXIT)) exitType = c.getCommandType();
        }
        check(labels.contains(NEXT) && labels.contains(PREVIOUS) && labels.contains(INFO) && labels.contains(EXIT),
                "next, previous, info and exit commands are offered: " + labels);
        check(exitType == Command.EXIT, "exit is an EXIT command, which phones put on their own soft key");
        BufferedImage before = copy(Device.screen());
        Device.command(PREVIOUS);
        check(same(before, Device.screen()), "previous on the title screen does nothing");
    }

    void firstPage() throws IOException {
        Device.press(Canvas.KEY_NUM5);
        shot("page-0-info");
        check(drawn(label(0)), "page 0 shows its number " + label(0) + " (drawn: " + Device.texts() + ")");
        String d = descriptions.get(0);
        if (d != null && d.length() <= 40) check(drawn(d), "page 0 shows its description \"" + d + "\"");
        if (showable(0)) {
            // The info band lies over the page; the page still starts at the top-left corner.
            BufferedImage p = pages.get(0);
            int top = H;
            for (Device.Text t : Device.texts()) top = Math.min(top, t.box.y);
            int above = Math.max(0, top - 4);   // the band may reach a little above its text
            check(above > 0 && shows(Device.screen(), 0, 0, p, 0, 0, Math.min(W, p.getWidth()), Math.min(above, p.getHeight())),
                    "page 0 starts at the top-left corner above the info band");
        }
        Device.press(Canvas.KEY_NUM0);
        shot("page-0");
        check(!drawn(label(0)), "key 0 hides the page number");
        expectPage(0, "first page");
        if (showable(0)) {
            BufferedImage p = pages.get(0);
            BufferedImage s = Device.screen();
            // Beyond a small page the screen is one even colour.
            int backdrop = -1;
            boolean even = true;
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++)
                    if (x >= p.getWidth() || y >= p.getHeight()) {
                        if (backdrop == -1) backdrop = s.getRGB(x, y);
                        even &= s.getRGB(x, y) == backdrop;
                    }
            check(even, "the screen beyond page 0 is one colour");
        }
    }

    /** Next and previous across the whole book, by commands and by keys, stopping at the ends. */
    void walk() throws IOException {
        int n = pages.size();
        for (int i = 1; i < n; i++) {
            Device.command(NEXT);
            expectPage(i, "next command");
            shot("page-" + i);
        }
        BufferedImage last = copy(Device.screen());
        Device.command(NEXT);
        Device.press(Canvas.KEY_NUM3);
        check(same(last, Device.screen()), "next on the last page stays there");
        for (int i = n - 2; i >= 0; i--) {
            Device.press(Canvas.KEY_NUM1);
            expectPage(i, "key 1");
        }
        BufferedImage first = copy(Device.screen());
        Device.press(Canvas.KEY_NUM1);
        Device.press(Canvas.KEY_STAR);
        Device.command(PREVIOUS);
        check(same(first, Device.screen()), "previous on the first page stays there");
        for (int i = 1; i < n; i++) {
            Device.press(i % 2 == 0 ? Canvas.KEY_POUND : Device.KEY_FIRE);
            expectPage(i, "key # or fire");
        }
        for (int i = n - 2; i >= 0; i--) {
            if (i % 2 == 0) Device.command(PREVIOUS);
            else Device.press(Canvas.KEY_STAR);
            expectPage(i, "previous command or key *");
        }
        Device.press(Canvas.KEY_NUM9);
        expectPage(n - 1, "key 9");
        Device.press(Canvas.KEY_NUM7);
        expectPage(0, "key 7");
    }

    void goTo(int i) {
        Device.press(Canvas.KEY_NUM7);
        for (int k = 0; k < i; k++) Device.press(Canvas.KEY_NUM3);
    }

    /**
     * Presses key often enough to cross `distance` pixels even one pixel a press. (Pressing
     * until the screen looks right would stop early: pictures have even areas that look the
     * same a step further on.)
     */
    static void pressAcross(int key, int distance) {
        for (int k = 0; k <= Math.min(distance, 3000); k++) Device.press(key);
    }

    /** Moves across page i to its far corner and back, with the joystick or with 2, 4, 6, 8. */
    void pan(int i) throws IOException {
        if (!showable(i)) return;
        goTo(i);
        BufferedImage p = pages.get(i);
        int farX = Math.max(0, p.getWidth() - W);
        int farY = Math.max(0, p.getHeight() - H);
        boolean joystick = i % 2 == 0;
        int right = joystick ? Device.KEY_RIGHT : Canvas.KEY_NUM6;
        int down = joystick ? Device.KEY_DOWN : Canvas.KEY_NUM8;
        int left = joystick ? Device.KEY_LEFT : Canvas.KEY_NUM4;
        int up = joystick ? Device.KEY_UP : Canvas.KEY_NUM2;
        String keys = joystick ? "joystick" : "keys 2, 4, 6, 8";

        if (farX == 0 && farY == 0) {
            BufferedImage before = copy(Device.screen());
            Device.press(right);
            Device.press(down);
            check(same(before, Device.screen()), "page " + i + " fits the screen and does not move (" + keys + ")");
            return;
        }
        if (farX > 0) {
            Device.press(right);
            int moved = -1;
            for (int dx = 1; dx <= Math.min(W, farX) && moved < 0; dx++)
                if (showsPageAt(i, dx, 0)) moved = dx;
            check(moved > 0, "one press to the right shows page " + i + " moved left by whole pixels (" + keys + ")");
        }
        pressAcross(right, farX);
        if (farY > 0) {
            Device.hold(down, 3);
            boolean moved = false;
            for (int dy = 1; dy <= farY && !moved; dy++) moved = showsPageAt(i, farX, dy);
            check(moved, "holding down moves page " + i + " up by whole pixels (" + keys + ")");
        }
        pressAcross(down, farY);
        shot("page-" + i + "-far-corner");
        check(showsPageAt(i, farX, farY), "panning reaches page " + i + "'s far corner at " + farX + "," + farY
                + " and stops there (" + keys + ")");
        pressAcross(left, farX);
        pressAcross(up, farY);
        check(showsPageAt(i, 0, 0), "panning back stops at page " + i + "'s top-left corner (" + keys + ")");
        Device.press(right);
        boolean last = i == pages.size() - 1;
        Device.press(last ? Canvas.KEY_NUM1 : Canvas.KEY_NUM3);
        Device.press(last ? Canvas.KEY_NUM3 : Canvas.KEY_NUM1);
        check(showsPageAt(i, 0, 0), "turning away and back shows page " + i + " from its top-left corner");
    }

    void info() throws IOException {
        int n = pages.size();
        int i = n - 1;
        for (int k = 0; k < n; k++)
            if (descriptions.getOrDefault(k, "").length() > 0) i = k;
        goTo(i);
        Device.command(INFO);
        shot("page-" + i + "-info");
        check(drawn(label(i)), "the info command shows page " + i + "'s number " + label(i) + " (drawn: " + Device.texts() + ")");
        String d = descriptions.getOrDefault(i, "");
        if (d.length() <= 40) check(drawn(d), "page " + i + "'s description \"" + d + "\" is shown");
        for (Device.Text t : Device.texts()) check(new Rectangle(0, 0, W, H).contains(t.box), "info text inside the screen: " + t);
        Device.command(INFO);
        check(!drawn(label(i)), "the info command hides the page number again");
        expectPage(i, "info hidden");
    }

    void pauseAndResume(MIDlet midlet) throws Exception {
        BufferedImage before = copy(Device.screen());
        Lifecycle.pause(midlet);
        Lifecycle.start(midlet);
        Device.flush();
        check(same(before, Device.screen()), "after a pause the reader is still on the same page");
    }
}
