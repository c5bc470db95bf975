import java.io.IOException;
import java.io.InputStream;
import java.util.Vector;

import javax.microedition.lcdui.Canvas;
import javax.microedition.lcdui.Command;
import javax.microedition.lcdui.CommandListener;
import javax.microedition.lcdui.Displayable;
import javax.microedition.lcdui.Font;
import javax.microedition.lcdui.Graphics;
import javax.microedition.lcdui.Image;
import javax.microedition.rms.InvalidRecordIDException;
import javax.microedition.rms.RecordStore;
import javax.microedition.rms.RecordStoreException;

/**
 * The flowing book reader: a title screen with the logo, the book's name (and a volume's
 * number) and its author, then the pages /0.png, /1.png ... read as one long strip.
 *
 * Down (the joystick or 8) scrolls the page up; at the page's bottom edge it goes on to the
 * top of the next page, and up at the top edge goes back to the bottom of the previous one.
 * A held key scrolls in finer steps and stops at a page edge: only a new press turns the
 * page, so holding a key never runs through the book. 5, # and 3 (and FIRE) turn to the next
 * page, * and 1 to the previous one, 7 and 9 go to the first and the last page, 0 shows or
 * hides the page number and description, left and right (4, 6) move across a wide page.
 *
 * The page read last is kept in the suite's record store; when the book is opened again
 * the title screen offers to go on there or to start from the beginning.
 *
 * The phone has a small heap: only the page on screen is kept, and a page that cannot be
 * loaded (missing, damaged or too large for the memory left) shows a message instead.
 */
public class a extends Canvas implements CommandListener {
    // Texts shown to the reader (Chinese, written as escapes so the source stays ASCII).
    private static final String NEXT = "\u4e0b\u4e00\u9875";            // next page
    private static final String PREVIOUS = "\u4e0a\u4e00\u9875";        // previous page
    private static final String INFO = "\u8bf4\u660e";                  // page number and description
    private static final String EXIT = "\u9000\u51fa";                  // exit
    private static final String AUTHOR = "\u4f5c\u8005\uff1a";          // author:
    private static final String START = "\u6309 5 \u952e\u5f00\u59cb\u9605\u8bfb"; // press 5 to start reading
    private static final String PAGE_BEFORE = "\u7b2c ";                // page N, before the number
    private static final String PAGE_AFTER = " \u9875";                 // page N, after the number
    private static final String MISSING = "\u56fe\u7247\u65e0\u6cd5\u6253\u5f00"; // the picture cannot be opened
    private static final String NO_MEMORY = "\u5185\u5b58\u4e0d\u8db3\uff0c\u65e0\u6cd5\u663e\u793a"; // not enough memory to show it
    private static final String CONTINUE = "\u7ee7\u7eed\u9605\u8bfb";      // continue reading
    private static final String RESTART = "\u4ece\u5934\u5f00\u59cb";       // start from the beginning

    // The page read last: one record of four bytes, the page number high byte first.
    private static final String PLACE_STORE = "place";
    private static final int PLACE_RECORD = 1;
    // A volume's name ends in " k/n"; numbers past this are not taken for one.
    private static final int MAX_VOLUMES = 999;

    // desc.txt never lists more pages than an archive can hold.
    private static final int MAX_PAGES = 4096;
    // The page number and at most this many lines of description are shown over the page.
    private static final int INFO_LINES = 3;

    private static final int PAPER = 0xFFFFFF;
    private static final int INK = 0x000000;
    private static final int SOFT_INK = 0x808080;
    private static final int BACKDROP = 0x303030;
    private static final int BAND = 0x000000;
    private static final int BAND_INK = 0xFFFFFF;

    private final GameMidlet midlet;
    private final Command nextCommand = new Command(NEXT, Command.SCREEN, 1);
    private final Command previousCommand = new Command(PREVIOUS, Command.SCREEN, 2);
    private final Command infoCommand = new Command(INFO, Command.SCREEN, 3);
    private final Command exitCommand = new Command(EXIT, Command.EXIT, 4);
    private final Command continueCommand = new Command(CONTINUE, Command.SCREEN, 0);
    private final Command restartCommand = new Command(RESTART, Command.SCREEN, 0);

    private String bookName = "";
    private String title = "";      // the name without a volume's " k/n"
    private String volume;          // "k/n" when the book is volume k of n
    private String author = "";
    private int pageCount;
    private String[] descriptions = new String[0];

    private Image logo;
    private int page = -1;          // -1: the title screen
    private Image picture;          // the only page picture alive
    private String problem;         // why the page has no picture
    private int left;               // the page column at the screen's left edge
    private int top;                // the page row at the screen's top edge
    private boolean infoShown = true;
    private int stored = -1;        // the page the record store holds, -1: none or unknown
    private int resume = -1;        // the title screen offers to go on at this page
    private boolean restartChosen;  // on the title screen, "start from the beginning" is highlighted

    a(GameMidlet midlet) {
        this.midlet = midlet;
        readBook();
        splitVolume();
        stored = readPlace();
        if (stored > 0 && stored < pageCount) {
            resume = stored;
        }
        try {
            logo = Image.createImage("/logo1.png");
        } catch (IOException e) {
            logo = null;
        } catch (OutOfMemoryError e) {
            logo = null;
        }
        addCommand(nextCommand);
        addCommand(previousCommand);
        addCommand(infoCommand);
        addCommand(exitCommand);
        if (resume > 0) {
            addCommand(continueCommand);
            addCommand(restartCommand);
        }
        setCommandListener(this);
    }

    // ---- the book text -------------------------------------------------------------------

    /** Reads /desc.txt: UTF-16 text (little-endian after the FF FE mark) in CR LF lines. */
    private void readBook() {
        byte[] bytes = readResource("/desc.txt");
        int announced = 0;
        int listed = 0;
        Vector numbers = new Vector();
        Vector texts = new Vector();
        if (bytes != null) {
            int i = 0;
            boolean bigEndian = false;
            if (bytes.length >= 2 && (bytes[0] & 0xFF) == 0xFF && (bytes[1] & 0xFF) == 0xFE) {
                i = 2;
            } else if (bytes.length >= 2 && (bytes[0] & 0xFF) == 0xFE && (bytes[1] & 0xFF) == 0xFF) {
                i = 2;
                bigEndian = true;
            }
            StringBuffer line = new StringBuffer();
            for (; i <= bytes.length; i += 2) {
                char c = '\n';
                if (i + 1 < bytes.length) {
                    int first = bytes[i] & 0xFF;
                    int second = bytes[i + 1] & 0xFF;
                    c = (char) (bigEndian ? (first << 8) | second : first | (second << 8));
                }
                if (c == '\n') {
                    String text = line.toString();
                    line.setLength(0);
                    if (text.startsWith("bookname:")) {
                        bookName = text.substring(9);
                    } else if (text.startsWith("author:")) {
                        author = text.substring(7);
                    } else if (text.startsWith("piccount:")) {
                        announced = Math.max(0, number(text.substring(9).trim(), MAX_PAGES));
                    } else {
                        int colon = text.indexOf(':');
                        int n = colon > 0 ? number(text.substring(0, colon), MAX_PAGES - 1) : -1;
                        if (n >= 0) {
                            numbers.addElement(new Integer(n));
                            texts.addElement(text.substring(colon + 1));
                            if (n + 1 > listed) {
                                listed = n + 1;
                            }
                        }
                    }
                    if (i + 1 >= bytes.length) {
                        break;
                    }
                } else if (c != '\r') {
                    line.append(c);
                }
            }
        }
        // Every page is shown even when the text announces or lists fewer than the archive holds.
        pageCount = announced > listed ? announced : listed;
        while (pageCount < MAX_PAGES && hasResource("/" + pageCount + ".png")) {
            pageCount++;
        }
        descriptions = new String[pageCount];
        for (int k = 0; k < numbers.size(); k++) {
            int n = ((Integer) numbers.elementAt(k)).intValue();
            if (n < pageCount) {
                descriptions[n] = (String) texts.elementAt(k);
            }
        }
    }

    /** A decimal number from 0 to max, or -1 for anything else. */
    private static int number(String text, int max) {
        if (text.length() == 0 || text.length() > 9) {
            return -1;
        }
        int value = 0;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c < '0' || c > '9') {
                return -1;
            }
            value = value * 10 + (c - '0');
        }
        return value > max ? -1 : value;
    }

    /** Takes a trailing " k/n" (1 <= k <= n) off the book's name as the volume's number. */
    private void splitVolume() {
        title = bookName;
        int space = bookName.lastIndexOf(' ');
        if (space <= 0) {
            return;
        }
        String tail = bookName.substring(space + 1);
        int slash = tail.indexOf('/');
        if (slash <= 0) {
            return;
        }
        int k = number(tail.substring(0, slash), MAX_VOLUMES);
        int n = number(tail.substring(slash + 1), MAX_VOLUMES);
        String name = bookName.substring(0, space).trim();
        if (k >= 1 && n >= k && name.length() > 0) {
            title = name;
            volume = tail;
        }
    }

    // ---- the page read last -----------------------------------------------------------------

    /** The page the record store holds, or -1 when there is none or it cannot be read. */
    private static int readPlace() {
        RecordStore store = null;
        try {
            store = RecordStore.openRecordStore(PLACE_STORE, false);
            if (store.getNumRecords() < 1) {
                return -1;
            }
            byte[] record = store.getRecord(PLACE_RECORD);
            if (record == null || record.length != 4) {
                return -1;
            }
            int n = ((record[0] & 0xFF) << 24) | ((record[1] & 0xFF) << 16) | ((record[2] & 0xFF) << 8) | (record[3] & 0xFF);
            return n >= 0 && n < MAX_PAGES ? n : -1;
        } catch (RecordStoreException e) {
            return -1;    // no store yet, or one the phone cannot read
        } catch (RuntimeException e) {
            return -1;
        } finally {
            close(store);
        }
    }

    /** Keeps page n as the place to go on from; a full or failing store only loses the place. */
    private void keepPlace(int n) {
        if (n == stored) {
            return;
        }
        byte[] record = {(byte) (n >> 24), (byte) (n >> 16), (byte) (n >> 8), (byte) n};
        for (int attempt = 0; attempt < 2; attempt++) {
            RecordStore store = null;
            try {
                store = RecordStore.openRecordStore(PLACE_STORE, true);
                if (store.getNumRecords() == 0) {
                    store.addRecord(record, 0, record.length);
                } else {
                    store.setRecord(PLACE_RECORD, record, 0, record.length);
                }
                stored = n;
                return;
            } catch (InvalidRecordIDException e) {
                // a store not laid out as this reader writes it: start it afresh, once
                close(store);
                store = null;
                try {
                    RecordStore.deleteRecordStore(PLACE_STORE);
                } catch (RecordStoreException gone) {
                    return;
                }
            } catch (RecordStoreException e) {
                return;
            } catch (RuntimeException e) {
                return;
            } finally {
                close(store);
            }
        }
    }

    private static void close(RecordStore store) {
        if (store != null) {
            try {
                store.closeRecordStore();
            } catch (RecordStoreException e) {
                // closed already
            }
        }
    }

    // ---- the archive's resources ------------------------------------------------------------

    private byte[] readResource(String name) {
        InputStream in = getClass().getResourceAsStream(name);
        if (in == null) {
            return null;
        }
        try {
            byte[] data = new byte[1024];
            int size = 0;
            while (true) {
                if (size == data.length) {
                    byte[] larger = new byte[data.length * 2];
                    System.arraycopy(data, 0, larger, 0, size);
                    data = larger;
                }
                int n = in.read(data, size, data.length - size);
                if (n < 0) {
                    break;
                }
                size += n;
            }
            byte[] result = new byte[size];
            System.arraycopy(data, 0, result, 0, size);
            return result;
        } catch (IOException e) {
            return null;
        } catch (OutOfMemoryError e) {
            return null;
        } finally {
            close(in);
        }
    }

    private boolean hasResource(String name) {
        InputStream in = getClass().getResourceAsStream(name);
        close(in);
        return in != null;
    }

    private static void close(InputStream in) {
        if (in != null) {
            try {
                in.close();
            } catch (IOException e) {
                // nothing more to release
            }
        }
    }

    // ---- turning pages --------------------------------------------------------------------

    private void next() {
        if (page + 1 < pageCount) {
            open(page + 1, false);
        }
    }

    private void previous() {
        if (page > 0) {
            open(page - 1, false);
        }
    }

    /** Leaves the title screen for page n. */
    private void start(int n) {
        if (page >= 0 || pageCount == 0) {
            return;
        }
        removeCommand(continueCommand);
        removeCommand(restartCommand);
        resume = -1;
        open(n, false);
    }

    /**
     * Shows page n at its top-left corner, or at its bottom-left one when the reader comes
     * up from the page after it; the previous picture is dropped first.
     */
    private void open(int n, boolean atBottom) {
        page = n;
        left = 0;
        top = 0;
        logo = null;
        picture = null;
        problem = null;
        String name = "/" + n + ".png";
        for (int attempt = 0; attempt < 2 && picture == null; attempt++) {
            try {
                picture = Image.createImage(name);
            } catch (OutOfMemoryError e) {
                picture = null;
                problem = NO_MEMORY;
                System.gc();   // collect what is left of earlier pages, then try once more
            } catch (IOException e) {
                problem = MISSING;
                break;
            } catch (RuntimeException e) {
                problem = MISSING;
                break;
            }
        }
        if (picture != null) {
            problem = null;
            if (atBottom) {
                top = Math.max(0, picture.getHeight() - getHeight());
            }
        }
        keepPlace(n);
        repaint();
    }

    /**
     * Down: scrolls the page up by step; at its bottom edge a press goes on to the top of the
     * next page, a repeat stops there.
     */
    private void down(int step, boolean repeated) {
        if (picture != null) {
            int last = Math.max(0, picture.getHeight() - getHeight());
            if (top < last) {
                top = Math.min(last, top + step);
                repaint();
                return;
            }
        }
        if (!repeated) {
            next();
        }
    }

    /** Up: the mirror of down, going back to the bottom of the previous page. */
    private void up(int step, boolean repeated) {
        if (picture != null && top > 0) {
            top = Math.max(0, top - step);
            repaint();
            return;
        }
        if (!repeated && page > 0) {
            open(page - 1, true);
        }
    }

    /** Moves the screen across the page, stopping at its edges. */
    private void pan(int dx, int dy) {
        if (picture == null) {
            return;
        }
        int newLeft = clamp(left + dx, picture.getWidth() - getWidth());
        int newTop = clamp(top + dy, picture.getHeight() - getHeight());
        if (newLeft != left || newTop != top) {
            left = newLeft;
            top = newTop;
            repaint();
        }
    }

    private static int clamp(int value, int max) {
        if (value > max) {
            value = max;
        }
        return value < 0 ? 0 : value;
    }

    private void toggleInfo() {
        if (page >= 0) {
            infoShown = !infoShown;
            repaint();
        }
    }

    // ---- input ------------------------------------------------------------------------------

    protected void keyPressed(int keyCode) {
        key(keyCode, false);
    }

    protected void keyRepeated(int keyCode) {
        key(keyCode, true);
    }

    private void key(int keyCode, boolean repeated) {
        int stepX = Math.max(1, getWidth() / 4);
        // A press moves a quarter of the screen, a held key a few lines at a time.
        int stepY = repeated ? Math.max(1, getHeight() / 16) : Math.max(1, getHeight() / 4);
        if (page < 0 && resume > 0) {
            titleKey(keyCode, repeated);
            return;
        }
        switch (keyCode) {
        case KEY_NUM5:
        case KEY_NUM3:
        case KEY_POUND:
            next();
            return;
        case KEY_NUM1:
        case KEY_STAR:
            previous();
            return;
        case KEY_NUM7:
            if (!repeated && page > 0) {
                open(0, false);
            }
            return;
        case KEY_NUM9:
            if (!repeated && page < pageCount - 1) {
                open(pageCount - 1, false);
            }
            return;
        case KEY_NUM0:
            if (!repeated) {
                toggleInfo();
            }
            return;
        default:
            break;
        }
        // 2, 4, 6 and 8 move the page also on phones that give them no game action.
        int action;
        if (keyCode == KEY_NUM2) {
            action = UP;
        } else if (keyCode == KEY_NUM8) {
            action = DOWN;
        } else if (keyCode == KEY_NUM4) {
            action = LEFT;
        } else if (keyCode == KEY_NUM6) {
            action = RIGHT;
        } else {
            try {
                action = getGameAction(keyCode);
            } catch (IllegalArgumentException e) {
                return;   // a key the phone does not map to a game action
            }
        }
        if (page < 0 && action != FIRE) {
            return;   // the title screen scrolls nowhere
        }
        switch (action) {
        case UP:
            up(stepY, repeated);
            break;
        case DOWN:
            down(stepY, repeated);
            break;
        case LEFT:
            pan(-stepX, 0);
            break;
        case RIGHT:
            pan(stepX, 0);
            break;
        case FIRE:
            next();
            break;
        default:
            break;
        }
    }

    /** The title screen's choice between going on and starting over: up and down, then 5 or FIRE. */
    private void titleKey(int keyCode, boolean repeated) {
        int action = 0;
        if (keyCode == KEY_NUM2) {
            action = UP;
        } else if (keyCode == KEY_NUM8) {
            action = DOWN;
        } else if (keyCode == KEY_NUM5 || keyCode == KEY_NUM3 || keyCode == KEY_POUND) {
            action = FIRE;
        } else if (keyCode == KEY_NUM9) {
            if (!repeated) {
                start(pageCount - 1);
            }
            return;
        } else {
            try {
                action = getGameAction(keyCode);
            } catch (IllegalArgumentException e) {
                return;
            }
        }
        if (action == UP || action == DOWN) {
            boolean restart = action == DOWN;
            if (restart != restartChosen) {
                restartChosen = restart;
                repaint();
            }
        } else if (action == FIRE && !repeated) {
            start(restartChosen ? 0 : resume);
        }
    }

    public void commandAction(Command c, Displayable d) {
        if (c == continueCommand) {
            start(resume);
        } else if (c == restartCommand) {
            start(0);
        } else if (page < 0 && resume > 0 && c == nextCommand) {
            start(restartChosen ? 0 : resume);
        } else if (c == nextCommand) {
            next();
        } else if (c == previousCommand) {
            previous();
        } else if (c == infoCommand) {
            toggleInfo();
        } else if (c == exitCommand) {
            midlet.quit();
        }
    }

    // ---- drawing ------------------------------------------------------------------------------

    protected void paint(Graphics g) {
        int w = getWidth();
        int h = getHeight();
        if (page < 0) {
            paintTitle(g, w, h);
            return;
        }
        if (picture != null) {
            int pw = picture.getWidth() - left;
            int ph = picture.getHeight() - top;
            g.setColor(BACKDROP);
            if (pw < w) {
                g.fillRect(pw, 0, w - pw, h);
            }
            if (ph < h) {
                g.fillRect(0, ph, w, h - ph);
            }
            g.drawImage(picture, -left, -top, Graphics.TOP | Graphics.LEFT);
        } else {
            g.setColor(BACKDROP);
            g.fillRect(0, 0, w, h);
            Font font = Font.getFont(Font.FACE_SYSTEM, Font.STYLE_PLAIN, Font.SIZE_MEDIUM);
            g.setFont(font);
            g.setColor(BAND_INK);
            Vector lines = wrap(PAGE_BEFORE + (page + 1) + PAGE_AFTER, font, w - 8, 1);
            Vector more = wrap(problem != null ? problem : MISSING, font, w - 8, 3);
            for (int i = 0; i < more.size(); i++) {
                lines.addElement(more.elementAt(i));
            }
            int y = (h - lines.size() * font.getHeight()) / 2;
            for (int i = 0; i < lines.size(); i++) {
                g.drawString((String) lines.elementAt(i), w / 2, y, Graphics.TOP | Graphics.HCENTER);
                y += font.getHeight();
            }
        }
        if (infoShown) {
            paintInfo(g, w, h);
        }
    }

    /** The page number and the page's description in a band along the bottom edge. */
    private void paintInfo(Graphics g, int w, int h) {
        Font font = Font.getFont(Font.FACE_SYSTEM, Font.STYLE_PLAIN, Font.SIZE_SMALL);
        String description = page < descriptions.length ? descriptions[page] : null;
        Vector lines = new Vector();
        lines.addElement((page + 1) + "/" + pageCount);
        if (description != null && description.length() > 0) {
            Vector more = wrap(description, font, w - 4, INFO_LINES);
            for (int i = 0; i < more.size(); i++) {
                lines.addElement(more.elementAt(i));
            }
        }
        int lineHeight = font.getHeight();
        int bandHeight = lines.size() * lineHeight + 2;
        int y = h - bandHeight;
        g.setColor(BAND);
        g.fillRect(0, y, w, bandHeight);
        g.setFont(font);
        g.setColor(BAND_INK);
        for (int i = 0; i < lines.size(); i++) {
            g.drawString((String) lines.elementAt(i), 2, y + 1 + i * lineHeight, Graphics.TOP | Graphics.LEFT);
        }
    }

    private void paintTitle(Graphics g, int w, int h) {
        g.setColor(PAPER);
        g.fillRect(0, 0, w, h);
        Font nameFont = Font.getFont(Font.FACE_PROPORTIONAL, Font.STYLE_BOLD, Font.SIZE_LARGE);
        Font smallFont = Font.getFont(Font.FACE_PROPORTIONAL, Font.STYLE_PLAIN, Font.SIZE_SMALL);
        Font volumeFont = Font.getFont(Font.FACE_PROPORTIONAL, Font.STYLE_PLAIN, Font.SIZE_MEDIUM);
        Vector name = wrap(title, nameFont, w - 8, 2);
        // A volume's number has a line of its own, so that a long name cut short keeps it.
        Vector by = author.length() > 0 ? wrap(AUTHOR + author, smallFont, w - 8, 1) : new Vector();
        int lineHeight = smallFont.getHeight() + 2;
        int menuHeight = resume > 0 ? 2 * lineHeight : smallFont.getHeight();

        int logoHeight = logo != null ? logo.getHeight() + 8 : 0;
        int volumeHeight = volume != null ? volumeFont.getHeight() : 0;
        int textHeight = name.size() * nameFont.getHeight() + volumeHeight + 4 + by.size() * smallFont.getHeight();
        int room = h - menuHeight - 4;   // the hint or the choice stays at the bottom
        int y = (room - logoHeight - textHeight) / 2;
        if (y < 2) {
            y = 2;
        }
        if (logo != null) {
            g.drawImage(logo, w / 2, y, Graphics.TOP | Graphics.HCENTER);
            y += logoHeight;
        }
        g.setColor(INK);
        g.setFont(nameFont);
        for (int i = 0; i < name.size(); i++) {
            g.drawString((String) name.elementAt(i), w / 2, y, Graphics.TOP | Graphics.HCENTER);
            y += nameFont.getHeight();
        }
        if (volume != null) {
            g.setFont(volumeFont);
            g.drawString(volume, w / 2, y, Graphics.TOP | Graphics.HCENTER);
            y += volumeFont.getHeight();
        }
        y += 4;
        g.setFont(smallFont);
        for (int i = 0; i < by.size(); i++) {
            g.drawString((String) by.elementAt(i), w / 2, y, Graphics.TOP | Graphics.HCENTER);
            y += smallFont.getHeight();
        }
        if (resume > 0) {
            int menuTop = h - 2 - menuHeight;
            paintChoice(g, CONTINUE, !restartChosen, menuTop, w, lineHeight, smallFont);
            paintChoice(g, RESTART, restartChosen, menuTop + lineHeight, w, lineHeight, smallFont);
        } else if (pageCount > 0) {
            g.setColor(SOFT_INK);
            g.drawString(START, w / 2, h - 2, Graphics.BOTTOM | Graphics.HCENTER);
        }
    }

    /** One line of the title screen's choice, the highlighted one white on black. */
    private static void paintChoice(Graphics g, String text, boolean chosen, int y, int w, int lineHeight, Font font) {
        int width = font.stringWidth(text) + 12;
        if (chosen) {
            g.setColor(BAND);
            g.fillRect((w - width) / 2, y, width, lineHeight);
        }
        g.setColor(chosen ? BAND_INK : SOFT_INK);
        g.setFont(font);
        g.drawString(text, w / 2, y + 1, Graphics.TOP | Graphics.HCENTER);
    }

    /**
     * Splits text into lines no wider than width, breaking after a space where one is near
     * and between any two characters otherwise (Chinese text has no spaces). Text beyond
     * maxLines lines is cut, the last line ending in "...".
     */
    private static Vector wrap(String text, Font font, int width, int maxLines) {
        Vector lines = new Vector();
        int start = 0;
        int length = text.length();
        while (start < length) {
            int end = start;
            int used = 0;
            int lastSpace = -1;
            while (end < length) {
                int cw = font.charWidth(text.charAt(end));
                if (used + cw > width && end > start) {
                    break;
                }
                if (text.charAt(end) == ' ') {
                    lastSpace = end;
                }
                used += cw;
                end++;
            }
            if (end < length && lastSpace > start) {
                end = lastSpace + 1;
            }
            if (lines.size() + 1 == maxLines && end < length) {
                lines.addElement(cut(text.substring(start), font, width));
                return lines;
            }
            lines.addElement(text.substring(start, end));
            start = end;
        }
        return lines;
    }

    /** The longest start of text that fits width with "..." after it. */
    private static String cut(String text, Font font, int width) {
        int room = width - font.stringWidth("...");
        int end = 0;
        int used = 0;
        while (end < text.length() && used + font.charWidth(text.charAt(end)) <= room) {
            used += font.charWidth(text.charAt(end));
            end++;
        }
        return text.substring(0, end) + "...";
    }
}
