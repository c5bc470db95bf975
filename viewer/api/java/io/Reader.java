package java.io;

public abstract class Reader {
    protected Object lock;
    protected Reader() {}
    protected Reader(Object lock) {}
    public native int read() throws IOException;
    public native int read(char[] cbuf) throws IOException;
    public abstract int read(char[] cbuf, int off, int len) throws IOException;
    public native long skip(long n) throws IOException;
    public native boolean ready() throws IOException;
    public native boolean markSupported();
    public native void mark(int readAheadLimit) throws IOException;
    public native void reset() throws IOException;
    public abstract void close() throws IOException;
}
