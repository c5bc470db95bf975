import java.awt.Rectangle;
import java.awt.image.BufferedImage;
import java.io.File;
import java.io.IOException;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.List;
import java.util.jar.JarFile;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.Device;
import javax.microedition.midlet.Lifecycle;
import javax.microedition.midlet.MIDlet;
import javax.microedition.rms.RecordStore;

/**
 * Reads a book with the flowing reader on the harness's 176 x 208 phone: down through every
 * page from the top of the first to the bottom of the last, each page's bottom edge going on
 * to the next page's top; up all the way back, each top edge going back to the previous
 * page's bottom; held keys stopping at a page edge; and the place read last surviving a
 * restart of the MIDlet, offered on the title screen, also when the stored place is damaged
 * or the record store full. A volume's title screen shows its "k/n" as a line of its own.
 * Turning pages by keys and commands and the info band are checked as for the classic reader.
 *
 * The harness's record stores live as long as this run, so a MIDlet started again by the
 * same class finds what the one before it wrote.
 *
 * Usage: java FlowTest BOOK.jar SCREENSHOT-FOLDER [HEAP-BYTES]
 */
public class FlowTest extends ViewerTest {
    static final String CONTINUE = "\u7ee7\u7eed\u9605\u8bfb";
    static final String RESTART = "\u4ece\u5934\u5f00\u59cb";
    static final String START = "\u6309 5 \u952e\u5f00\u59cb\u9605\u8bfb";
    static final Pattern VOLUME = Pattern.compile(".*\\S (\\d{1,3})/(\\d{1,3})");

    URLClassLoader suite;
    MIDlet midlet;
    int launches;

    FlowTest(File jarFile, File shots, long heap) {
        super(jarFile, shots, heap);
    }

    public static void main(String[] args) throws Exception {
        if (args.length < 2) {
            System.err.println("usage: java FlowTest BOOK.jar SCREENSHOT-FOLDER [HEAP-BYTES]");
            System.exit(2);
        }
        FlowTest t = new FlowTest(new File(args[0]), new File(args[1]), args.length > 2 ? Long.parseLong(args[2]) : Long.MAX_VALUE);
        t.shots.mkdirs();
        try {
            t.run();
        } catch (Throwable e) {
            t.failed++;
            System.out.println("FAIL: the run stopped: " + e);
            e.printStackTrace(System.out);
        } finally {
            if (t.suite != null) t.suite.close();
        }
        System.out.println(t.passed + " passed, " + t.failed + " failed");
        System.exit(t.failed == 0 ? 0 : 1);
    }

    /** Starts the suite afresh, as the phone does after the reader was left: new classes, new screen, same record stores. */
    void launch() throws Exception {
        if (suite != null) suite.close();
        suite = new URLClassLoader(new URL[] {jarFile.toURI().toURL()}, FlowTest.class.getClassLoader());
        try (JarFile jar = new JarFile(jarFile)) {
            Device.reset(suite, W, H, heap);
            midlet = Lifecycle.launch(suite, jar.getManifest().getMainAttributes());
        }
        Device.flush();
        launches++;
        check(RecordStore.openCount() == 0, "start " + launches + ": the reader leaves no record store open");
    }

    int farY(int i) {
        BufferedImage p = pages.get(i);
        return showable(i) ? Math.max(0, p.getHeight() - H) : 0;
    }

    boolean offersPlace() {
        List<String> labels = new ArrayList<>();
        for (Command c : Device.commands()) labels.add(c.getLabel());
        boolean texts = drawn(CONTINUE) && drawn(RESTART);
        boolean commands = labels.contains(CONTINUE) && labels.contains(RESTART);
        check(texts == commands, "the title screen's choice is drawn exactly when its commands are offered: " + labels
                + ", drawn: " + Device.texts());
        return texts && commands;
    }

    /** From the title screen into page 0, the info band hidden. */
    void enter(int key) {
        Device.press(key);
        Device.press(Canvas.KEY_NUM0);
    }

    // ---- the run --------------------------------------------------------------------------

    @Override
    void run() throws Exception {
        readBook();
        RecordStore.forgetAll();
        launch();
        title();
        if (pages.isEmpty()) return;
        check(!offersPlace(), "a book never read offers no place to go on from");
        check(drawn(START), "a book never read shows the hint to start");
        enter(Canvas.KEY_NUM5);
        expectPage(0, "the first page");
        shot("flow-0");
        forward();
        backward();
        held();
        walk();   // the keys and commands that turn pages work as in the classic reader
        info();
        resume();
        Device.command(EXIT);
        check(Lifecycle.isDestroyed(), "the exit command ends the MIDlet");
    }

    @Override
    void title() throws IOException {
        shot("title-" + launches);
        check(Device.current() instanceof Canvas, "the MIDlet shows a canvas");
        for (Device.Text t : Device.texts())
            check(new Rectangle(0, 0, W, H).contains(t.box), "title text inside the screen: " + t);
        Matcher m = VOLUME.matcher(bookName);
        int k = m.matches() ? Integer.parseInt(m.group(1)) : 0;
        int n = m.matches() ? Integer.parseInt(m.group(2)) : 0;
        if (k >= 1 && k <= n) {
            String volume = k + "/" + n;
            boolean own = false;
            boolean elsewhere = false;
            for (Device.Text t : Device.texts()) {
                if (t.text.trim().equals(volume)) own = true;
                else if (t.text.contains(volume)) elsewhere = true;
            }
            check(own && !elsewhere, "volume " + volume + " of \"" + bookName + "\" has a title line of its own (drawn: "
                    + Device.texts() + ")");
            String name = bookName.substring(0, bookName.length() - volume.length()).trim();
            String start = name.substring(0, Math.min(4, name.length()));
            check(drawn(start), "the volume's title screen shows its name \"" + start + "...\"");
        } else {
            super.title();   // logo, name, author, commands: as the classic reader shows them
        }
    }

    /** Down from the top of page 0: each page scrolls to its bottom, then one more press shows the next page's top. */
    void forward() throws IOException {
        int n = pages.size();
        for (int i = 0; i < n; i++) {
            int far = farY(i);
            int presses = 0;
            while (far > 0 && !showsPageAt(i, 0, far) && presses <= far) {
                Device.press(Device.KEY_DOWN);
                presses++;
            }
            if (showable(i))
                check(showsPageAt(i, 0, far), "down scrolls page " + i + " to its bottom edge at " + far + " (" + presses + " presses)");
            BufferedImage bottom = copy(Device.screen());
            Device.press(i % 2 == 0 ? Device.KEY_DOWN : Canvas.KEY_NUM8);
            if (i + 1 < n) {
                expectPage(i + 1, "down at the bottom of page " + i);
                shot("flow-" + (i + 1));
            } else {
                check(same(bottom, Device.screen()), "down at the bottom of the last page stays there");
            }
        }
    }

    /** Up from the bottom of the last page: each page scrolls to its top, then one more press shows the previous page's bottom. */
    void backward() throws IOException {
        for (int i = pages.size() - 1; i >= 0; i--) {
            int far = farY(i);
            int presses = 0;
            while (far > 0 && !showsPageAt(i, 0, 0) && presses <= far) {
                Device.press(Device.KEY_UP);
                presses++;
            }
            if (showable(i)) check(showsPageAt(i, 0, 0), "up scrolls page " + i + " back to its top edge");
            BufferedImage top = copy(Device.screen());
            Device.press(i % 2 == 0 ? Device.KEY_UP : Canvas.KEY_NUM2);
            if (i > 0) {
                if (showable(i - 1)) {
                    check(showsPageAt(i - 1, 0, farY(i - 1)), "up at the top of page " + i + " shows page " + (i - 1)
                            + " at its bottom edge " + farY(i - 1));
                } else {
                    expectPage(i - 1, "up at the top of page " + i);
                }
                if (i == pages.size() - 1) shot("flow-back-" + (i - 1));
            } else {
                check(same(top, Device.screen()), "up at the top of the first page stays there");
            }
        }
    }

    /** Page i from its top: page 0 is scrolled back (up at its top does nothing), any other is opened afresh. */
    @Override
    void goTo(int i) {
        if (i == 0) {
            Device.press(Canvas.KEY_NUM7);
            for (int k = 0; k <= farY(0); k++) Device.press(Device.KEY_UP);
        } else {
            super.goTo(i);
        }
    }

    /** The page row shown at the top of the screen for page i, found by its pixels; -1 when none fits. */
    int shownTop(int i) {
        for (int dy = 0; dy <= farY(i); dy++)
            if (showsPageAt(i, 0, dy)) return dy;
        return -1;
    }

    /** Held keys scroll in steps no larger than a press and stop at a page edge. */
    void held() {
        int t = -1;
        for (int i = 0; i < pages.size() && t < 0; i++)
            if (farY(i) > H / 2) t = i;
        if (t < 0) {
            System.out.println("note: no page taller than one and a half screens; held keys are not checked");
            return;
        }
        int far = farY(t);
        goTo(t);
        Device.press(Device.KEY_DOWN);
        int press = shownTop(t);
        check(press > 0, "a press scrolls page " + t + " down (shown from row " + press + ")");
        goTo(t);
        Device.hold(Device.KEY_DOWN, 1);
        int once = shownTop(t);
        check(once > press && once - press <= press, "a repeat scrolls page " + t + " further in a step no larger than a press ("
                + press + " after a press, " + once + " after one repeat)");

        goTo(t);
        Device.hold(Device.KEY_DOWN, far + 40);
        check(showsPageAt(t, 0, far), "a held down key stops at the bottom edge of page " + t + " instead of turning the page");
        if (t + 1 < pages.size()) {
            // The press turns the page; its repeats scroll the next page but turn no further.
            int next = t + 1;
            Device.hold(Canvas.KEY_NUM8, farY(next) + 40);
            check(showable(next) ? showsPageAt(next, 0, farY(next)) : drawn(String.valueOf(next + 1)),
                    "holding down at the bottom of page " + t + " goes on to page " + next + " and stops at its bottom edge");
            if (farY(next) > 0) {
                Device.hold(Device.KEY_UP, farY(next) + 40);
                check(showsPageAt(next, 0, 0), "a held up key stops at the top edge of page " + next);
            }
            Device.hold(Device.KEY_UP, far + 40);
            check(showsPageAt(t, 0, 0), "holding up at the top of page " + next + " goes back to page " + t
                    + " and stops at its top edge");
        }
        goTo(t);
        Device.hold(Device.KEY_UP, 40);
        check(showsPageAt(t, 0, 0), "a held up key at the top of page " + t + " does not turn back");
    }

    /** The place read last, kept across restarts. */
    void resume() throws Exception {
        int n = pages.size();
        if (n < 2) return;
        int r = n - 1;
        for (int i = n - 1; i > 0; i--)
            if (showable(i)) r = i;   // the first page after page 0 that the phone shows
        goTo(r);
        Device.press(Device.KEY_RIGHT);   // a place is a page; where on it is not kept

        launch();
        title();
        check(offersPlace(), "after a restart the title screen offers to go on or start over (drawn: " + Device.texts() + ")");
        check(!drawn(START), "with a place to go on from the start hint gives way to the choice");
        enter(Canvas.KEY_NUM5);
        expectPage(r, "5 on the title screen goes on at page " + r);
        check(!offersPlace(), "the choice is gone once reading");

        launch();
        BufferedImage chooseOn = copy(Device.screen());
        Device.press(Device.KEY_DOWN);
        check(!same(chooseOn, Device.screen()), "down on the title screen moves the highlight to " + RESTART);
        shot("title-restart");
        enter(Device.KEY_FIRE);
        expectPage(0, "fire on " + RESTART);

        launch();
        check(!offersPlace(), "after starting over at page 0 there is no place to offer");
        enter(Canvas.KEY_NUM5);
        goTo(r);

        launch();
        Device.command(CONTINUE);
        Device.press(Canvas.KEY_NUM0);
        expectPage(r, "the command " + CONTINUE);

        launch();
        Device.command(RESTART);
        Device.press(Canvas.KEY_NUM0);
        expectPage(0, "the command " + RESTART);
        goTo(r);

        // A place the book cannot have (a record of another length, or past the last page) is not offered.
        byte[][] damaged = {{0, 0, 0}, {0, 0, 0x7F, 0x7F}, {(byte) 0xFF, (byte) 0xFF, (byte) 0xFF, (byte) 0xFF},
                            {0, 0, (byte) (n >> 8), (byte) n}, {0, 0, 0, 1, 0}};
        for (byte[] record : damaged) {
            String[] names = RecordStore.listRecordStores();
            check(names != null, "the reader keeps its place in a record store");
            if (names == null) return;
            for (String name : names) {
                RecordStore s = RecordStore.openRecordStore(name, false);
                for (int id = 1; id < s.getNextRecordID(); id++) {
                    try {
                        s.setRecord(id, record, 0, record.length);
                    } catch (javax.microedition.rms.InvalidRecordIDException gone) {
                        // deleted records stay deleted
                    }
                }
                s.closeRecordStore();
            }
            launch();
            check(!offersPlace(), "a damaged place of " + record.length + " bytes is not offered");
            enter(Canvas.KEY_NUM5);
            expectPage(0, "5 with a damaged place");
            goTo(r);
            launch();
            check(offersPlace(), "after a damaged place the reader keeps its place again");
            enter(Canvas.KEY_NUM5);
            expectPage(r, "going on after a damaged place was replaced");
        }

        // A full record store loses the place but not the book.
        RecordStore.forgetAll();
        RecordStore.setFull(true);
        launch();
        enter(Canvas.KEY_NUM5);
        goTo(r);
        expectPage(r, "reading with a full record store");
        launch();
        check(!offersPlace(), "a place that could not be kept is not offered");
        RecordStore.setFull(false);
    }
}
