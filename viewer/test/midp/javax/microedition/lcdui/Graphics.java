package javax.microedition.lcdui;

import java.awt.BasicStroke;
import java.awt.Color;
import java.awt.Graphics2D;
import java.awt.Rectangle;
import java.awt.RenderingHints;
import java.awt.image.BufferedImage;
import java.util.List;

/**
 * Drawing onto an off-screen picture with MIDP's rules: a translated origin, a clip, colours
 * without alpha, and anchors that are checked as strictly as a phone checks them. Strings
 * drawn on the screen are logged with their boxes so that tests can read the screen's text.
 */
public class Graphics {
    public static final int HCENTER = 1;
    public static final int VCENTER = 2;
    public static final int LEFT = 4;
    public static final int RIGHT = 8;
    public static final int TOP = 16;
    public static final int BOTTOM = 32;
    public static final int BASELINE = 64;
    public static final int SOLID = 0;
    public static final int DOTTED = 1;

    private final Graphics2D g;
    private final List<Device.Text> log;
    private int tx;
    private int ty;
    private int color;
    private int stroke = SOLID;
    private Font font = Font.getDefaultFont();
    private Rectangle clip;

    Graphics(BufferedImage target, List<Device.Text> log) {
        this.g = configure(target.createGraphics());
        this.log = log;
        this.clip = new Rectangle(0, 0, target.getWidth(), target.getHeight());
    }

    static Graphics2D configure(Graphics2D g) {
        g.setRenderingHint(RenderingHints.KEY_ANTIALIASING, RenderingHints.VALUE_ANTIALIAS_OFF);
        g.setRenderingHint(RenderingHints.KEY_TEXT_ANTIALIASING, RenderingHints.VALUE_TEXT_ANTIALIAS_OFF);
        g.setRenderingHint(RenderingHints.KEY_FRACTIONALMETRICS, RenderingHints.VALUE_FRACTIONALMETRICS_OFF);
        g.setRenderingHint(RenderingHints.KEY_STROKE_CONTROL, RenderingHints.VALUE_STROKE_PURE);
        return g;
    }

    private Graphics2D ready() {
        g.setColor(new Color(color));
        g.setClip(clip);
        g.setStroke(stroke == DOTTED ? new BasicStroke(1, BasicStroke.CAP_BUTT, BasicStroke.JOIN_MITER, 10, new float[] {1, 1}, 0) : new BasicStroke(1));
        return g;
    }

    public void translate(int x, int y) {
        tx += x;
        ty += y;
    }

    public int getTranslateX() {
        return tx;
    }

    public int getTranslateY() {
        return ty;
    }

    public int getColor() {
        return color;
    }

    public int getRedComponent() {
        return (color >> 16) & 0xFF;
    }

    public int getGreenComponent() {
        return (color >> 8) & 0xFF;
    }

    public int getBlueComponent() {
        return color & 0xFF;
    }

    public int getGrayScale() {
        return (getRedComponent() + getGreenComponent() + getBlueComponent()) / 3;
    }

    public void setColor(int red, int green, int blue) {
        if ((red | green | blue) < 0 || red > 255 || green > 255 || blue > 255) throw new IllegalArgumentException("colour out of range");
        color = (red << 16) | (green << 8) | blue;
    }

    public void setColor(int RGB) {
        color = RGB & 0xFFFFFF;
    }

    public void setGrayScale(int value) {
        setColor(value, value, value);
    }

    public Font getFont() {
        return font;
    }

    public void setStrokeStyle(int style) {
        if (style != SOLID && style != DOTTED) throw new IllegalArgumentException("stroke " + style);
        stroke = style;
    }

    public int getStrokeStyle() {
        return stroke;
    }

    public void setFont(Font font) {
        this.font = font != null ? font : Font.getDefaultFont();
    }

    public int getClipX() {
        return clip.x - tx;
    }

    public int getClipY() {
        return clip.y - ty;
    }

    public int getClipWidth() {
        return clip.width;
    }

    public int getClipHeight() {
        return clip.height;
    }

    public void clipRect(int x, int y, int width, int height) {
        clip = clip.intersection(new Rectangle(x + tx, y + ty, Math.max(0, width), Math.max(0, height)));
        if (clip.isEmpty()) clip = new Rectangle(clip.x, clip.y, 0, 0);
    }

    public void setClip(int x, int y, int width, int height) {
        clip = new Rectangle(x + tx, y + ty, Math.max(0, width), Math.max(0, height));
    }

    public void drawLine(int x1, int y1, int x2, int y2) {
        ready().drawLine(x1 + tx, y1 + ty, x2 + tx, y2 + ty);
    }

    public void fillRect(int x, int y, int width, int height) {
        if (width > 0 && height > 0) ready().fillRect(x + tx, y + ty, width, height);
    }

    public void drawRect(int x, int y, int width, int height) {
        if (width >= 0 && height >= 0) ready().drawRect(x + tx, y + ty, width, height);
    }

    public void drawRoundRect(int x, int y, int width, int height, int arcWidth, int arcHeight) {
        if (width >= 0 && height >= 0) ready().drawRoundRect(x + tx, y + ty, width, height, arcWidth, arcHeight);
    }

    public void fillRoundRect(int x, int y, int width, int height, int arcWidth, int arcHeight) {
        if (width > 0 && height > 0) ready().fillRoundRect(x + tx, y + ty, width, height, arcWidth, arcHeight);
    }

    public void fillArc(int x, int y, int width, int height, int startAngle, int arcAngle) {
        if (width > 0 && height > 0) ready().fillArc(x + tx, y + ty, width, height, startAngle, arcAngle);
    }

    public void drawArc(int x, int y, int width, int height, int startAngle, int arcAngle) {
        if (width >= 0 && height >= 0) ready().drawArc(x + tx, y + ty, width, height, startAngle, arcAngle);
    }

    public void drawString(String str, int x, int y, int anchor) {
        if (str == null) throw new NullPointerException("string");
        if (anchor == 0) anchor = TOP | LEFT;
        int h = anchor & (LEFT | RIGHT | HCENTER);
        int v = anchor & (TOP | BOTTOM | BASELINE);
        if ((anchor & ~(LEFT | RIGHT | HCENTER | TOP | BOTTOM | BASELINE)) != 0 || Integer.bitCount(h) != 1 || Integer.bitCount(v) != 1)
            throw new IllegalArgumentException("text anchor " + anchor);
        int width = font.stringWidth(str);
        int left = h == LEFT ? x : h == RIGHT ? x - width : x - width / 2;
        int top = v == TOP ? y : v == BOTTOM ? y - font.getHeight() : y - font.getBaselinePosition();
        Graphics2D d = ready();
        d.setFont(font.awt);
        d.drawString(str, left + tx, top + ty + font.getBaselinePosition());
        if (font.isUnderlined()) d.drawLine(left + tx, top + ty + font.getBaselinePosition() + 1, left + tx + width - 1, top + ty + font.getBaselinePosition() + 1);
        if (log != null) {
            Rectangle box = new Rectangle(left + tx, top + ty, width, font.getHeight());
            if (box.intersects(clip)) log.add(new Device.Text(str, box, color));
        }
    }

    public void drawSubstring(String str, int offset, int len, int x, int y, int anchor) {
        drawString(str.substring(offset, offset + len), x, y, anchor);
    }

    public void drawChar(char character, int x, int y, int anchor) {
        drawString(String.valueOf(character), x, y, anchor);
    }

    public void drawChars(char[] data, int offset, int length, int x, int y, int anchor) {
        drawString(new String(data, offset, length), x, y, anchor);
    }

    public void drawImage(Image img, int x, int y, int anchor) {
        if (img == null) throw new NullPointerException("image");
        if (anchor == 0) anchor = TOP | LEFT;
        int h = anchor & (LEFT | RIGHT | HCENTER);
        int v = anchor & (TOP | BOTTOM | VCENTER);
        if ((anchor & ~(LEFT | RIGHT | HCENTER | TOP | BOTTOM | VCENTER)) != 0 || Integer.bitCount(h) != 1 || Integer.bitCount(v) != 1)
            throw new IllegalArgumentException("image anchor " + anchor);
        int left = h == LEFT ? x : h == RIGHT ? x - img.getWidth() : x - img.getWidth() / 2;
        int top = v == TOP ? y : v == BOTTOM ? y - img.getHeight() : y - img.getHeight() / 2;
        ready().drawImage(img.pixels, left + tx, top + ty, null);
    }
}
