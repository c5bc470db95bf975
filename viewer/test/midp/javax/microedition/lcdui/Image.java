package javax.microedition.lcdui;

import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.Iterator;

import javax.imageio.ImageIO;
import javax.imageio.ImageReader;
import javax.imageio.stream.ImageInputStream;

/** Pictures: PNG only, as MIDP 1.0 guarantees; every one is charged to the emulated heap. */
public class Image {
    final BufferedImage pixels;
    private final boolean mutable;

    private Image(BufferedImage pixels, boolean mutable) {
        this.pixels = pixels;
        this.mutable = mutable;
        Device.charge(this, (long) pixels.getWidth() * pixels.getHeight());
    }

    public static Image createImage(int width, int height) {
        if (width <= 0 || height <= 0) throw new IllegalArgumentException("size " + width + "x" + height);
        Device.reserve((long) width * height);
        BufferedImage b = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
        java.awt.Graphics2D g = b.createGraphics();   // a new mutable image is white
        g.setColor(java.awt.Color.WHITE);
        g.fillRect(0, 0, width, height);
        g.dispose();
        return new Image(b, true);
    }

    public static Image createImage(Image source) {
        if (!source.mutable) return source;
        Device.reserve((long) source.getWidth() * source.getHeight());
        BufferedImage copy = new BufferedImage(source.getWidth(), source.getHeight(), BufferedImage.TYPE_INT_ARGB);
        copy.getGraphics().drawImage(source.pixels, 0, 0, null);
        return new Image(copy, false);
    }

    public static Image createImage(String name) throws IOException {
        if (name == null) throw new NullPointerException("name");
        byte[] data;
        try (InputStream in = Device.resource(name)) {
            if (in == null) throw new IOException("no resource " + name);
            data = in.readAllBytes();
        }
        return decode(data, 0, data.length);
    }

    public static Image createImage(byte[] imageData, int imageOffset, int imageLength) {
        try {
            return decode(imageData, imageOffset, imageLength);
        } catch (IOException e) {
            throw new IllegalArgumentException(e.getMessage());
        }
    }

    private static Image decode(byte[] data, int offset, int length) throws IOException {
        try (ImageInputStream in = ImageIO.createImageInputStream(new ByteArrayInputStream(data, offset, length))) {
            Iterator<ImageReader> readers = ImageIO.getImageReaders(in);
            if (!readers.hasNext()) throw new IOException("not a picture");
            ImageReader reader = readers.next();
            try {
                if (!"png".equalsIgnoreCase(reader.getFormatName())) throw new IOException("not a PNG picture");
                reader.setInput(in);
                // The phone runs out of memory for the pixels before it decodes them.
                Device.reserve((long) reader.getWidth(0) * reader.getHeight(0));
                BufferedImage decoded = reader.read(0);
                BufferedImage argb = new BufferedImage(decoded.getWidth(), decoded.getHeight(), BufferedImage.TYPE_INT_ARGB);
                java.awt.Graphics2D g = argb.createGraphics();
                g.drawImage(decoded, 0, 0, null);
                g.dispose();
                return new Image(argb, false);
            } catch (RuntimeException e) {
                throw new IOException("damaged PNG picture: " + e);
            } finally {
                reader.dispose();
            }
        }
    }

    public Graphics getGraphics() {
        if (!mutable) throw new IllegalStateException("immutable image");
        return new Graphics(pixels, null);
    }

    public int getWidth() {
        return pixels.getWidth();
    }

    public int getHeight() {
        return pixels.getHeight();
    }

    public boolean isMutable() {
        return mutable;
    }
}
