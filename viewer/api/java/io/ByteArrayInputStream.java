package java.io;

public class ByteArrayInputStream extends InputStream {
    protected byte[] buf;
    protected int pos;
    protected int mark;
    protected int count;
    public ByteArrayInputStream(byte[] buf) {}
    public ByteArrayInputStream(byte[] buf, int offset, int length) {}
    public native int read();
}
