package java.io;

public class ByteArrayOutputStream extends OutputStream {
    protected byte[] buf;
    protected int count;
    public ByteArrayOutputStream() {}
    public ByteArrayOutputStream(int size) {}
    public native void write(int b);
    public native void write(byte[] b, int off, int len);
    public native void reset();
    public native byte[] toByteArray();
    public native int size();
    public native String toString();
}
