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

/**
 * The book reader: a title screen with the logo, the book's name and its author, then the
 * pages /0.png, /1.png ... one at a time.
 *
 * Keys: 5, # and 3 (and FIRE) turn to the next page, * and 1 to the previous one, 7 and 9 go
 * to the first and the last page, 0 shows or hides the page number and description, the
 * arrow keys and 2, 4, 6, 8 move across a page larger than the screen. Commands do the same
 * for phones whose soft keys are the easier way.
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

    private String bookName = "";
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

    a(GameMidlet midlet) {
        this.midlet = midlet;
        readBook();
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
            open(page + 1);
        }
    }

    private void previous() {
        if (page > 0) {
            open(page - 1);
        }
    }

    /** Shows page n at its top-left corner, dropping the previous picture first. */
    private void open(int n) {
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
        }
        repaint();
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
        int stepY = Math.max(1, getHeight() / 4);
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
                open(0);
            }
            return;
        case KEY_NUM9:
            if (!repeated && page < pageCount - 1) {
                open(pageCount - 1);
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
        switch (action) {
        case UP:
            pan(0, -stepY);
            break;
        case DOWN:
            pan(0, stepY);
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

    public void commandAction(Command c, Displayable d) {
        if (c == nextCommand) {
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
        Vector name = wrap(bookName, nameFont, w - 8, 2);
        Vector by = author.length() > 0 ? wrap(AUTHOR + author, smallFont, w - 8, 1) : new Vector();

        int logoHeight = logo != null ? logo.getHeight() + 8 : 0;
        int textHeight = name.size() * nameFont.getHeight() + 4 + by.size() * smallFont.getHeight();
        int room = h - smallFont.getHeight() - 4;   // the hint line stays at the bottom
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
        y += 4;
        g.setFont(smallFont);
        for (int i = 0; i < by.size(); i++) {
            g.drawString((String) by.elementAt(i), w / 2, y, Graphics.TOP | Graphics.HCENTER);
            y += smallFont.getHeight();
        }
        if (pageCount > 0) {
            g.setColor(SOFT_INK);
            g.drawString(START, w / 2, h - 2, Graphics.BOTTOM | Graphics.HCENTER);
        }
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
