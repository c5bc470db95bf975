package java.io;

public abstract class OutputStream {
    public OutputStream() {}
    public abstract void write(int b) throws IOException;
    public native void write(byte[] b) throws IOException;
    public native void write(byte[] b, int off, int len) throws IOException;
    public native void flush() throws IOException;
    public native void close() throws IOException;
}
