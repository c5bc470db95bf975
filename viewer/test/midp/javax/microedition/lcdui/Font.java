package javax.microedition.lcdui;

import java.awt.FontMetrics;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.image.BufferedImage;

/** Phone fonts over Java's logical fonts, at the pixel sizes of a 176 x 208 screen. */
public final class Font {
    public static final int STYLE_PLAIN = 0;
    public static final int STYLE_BOLD = 1;
    public static final int STYLE_ITALIC = 2;
    public static final int STYLE_UNDERLINED = 4;
    public static final int SIZE_SMALL = 8;
    public static final int SIZE_MEDIUM = 0;
    public static final int SIZE_LARGE = 16;
    public static final int FACE_SYSTEM = 0;
    public static final int FACE_MONOSPACE = 32;
    public static final int FACE_PROPORTIONAL = 64;

    private static final Graphics2D measure = Graphics.configure(new BufferedImage(1, 1, BufferedImage.TYPE_INT_RGB).createGraphics());

    private final int face;
    private final int style;
    private final int size;
    final java.awt.Font awt;
    private final FontMetrics metrics;

    private Font(int face, int style, int size) {
        this.face = face;
        this.style = style;
        this.size = size;
        int pixels = size == SIZE_SMALL ? 12 : size == SIZE_LARGE ? 16 : 14;
        int awtStyle = ((style & STYLE_BOLD) != 0 ? java.awt.Font.BOLD : 0) | ((style & STYLE_ITALIC) != 0 ? java.awt.Font.ITALIC : 0);
        awt = new java.awt.Font(face == FACE_MONOSPACE ? java.awt.Font.MONOSPACED : java.awt.Font.SANS_SERIF, awtStyle, pixels);
        metrics = measure.getFontMetrics(awt);
    }

    public static Font getDefaultFont() {
        return getFont(FACE_SYSTEM, STYLE_PLAIN, SIZE_MEDIUM);
    }

    public static Font getFont(int face, int style, int size) {
        if (face != FACE_SYSTEM && face != FACE_MONOSPACE && face != FACE_PROPORTIONAL) throw new IllegalArgumentException("face " + face);
        if ((style & ~7) != 0) throw new IllegalArgumentException("style " + style);
        if (size != SIZE_SMALL && size != SIZE_MEDIUM && size != SIZE_LARGE) throw new IllegalArgumentException("size " + size);
        return new Font(face, style, size);
    }

    public int getStyle() {
        return style;
    }

    public int getSize() {
        return size;
    }

    public int getFace() {
        return face;
    }

    public boolean isPlain() {
        return style == STYLE_PLAIN;
    }

    public boolean isBold() {
        return (style & STYLE_BOLD) != 0;
    }

    public boolean isItalic() {
        return (style & STYLE_ITALIC) != 0;
    }

    public boolean isUnderlined() {
        return (style & STYLE_UNDERLINED) != 0;
    }

    public int getHeight() {
        return metrics.getHeight();
    }

    public int getBaselinePosition() {
        return metrics.getAscent();
    }

    public int charWidth(char ch) {
        return metrics.charWidth(ch);
    }

    public int charsWidth(char[] ch, int offset, int length) {
        return stringWidth(new String(ch, offset, length));
    }

    public int stringWidth(String str) {
        int width = 0;
        for (int i = 0; i < str.length(); i++) width += charWidth(str.charAt(i));
        return width;
    }

    public int substringWidth(String str, int offset, int len) {
        return stringWidth(str.substring(offset, offset + len));
    }
}
