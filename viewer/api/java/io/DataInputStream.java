package java.io;

public class DataInputStream extends InputStream implements DataInput {
    protected InputStream in;
    public DataInputStream(InputStream in) {}
    public native int read() throws IOException;
    public final native void readFully(byte[] b) throws IOException;
    public final native void readFully(byte[] b, int off, int len) throws IOException;
    public final native int skipBytes(int n) throws IOException;
    public final native boolean readBoolean() throws IOException;
    public final native byte readByte() throws IOException;
    public final native int readUnsignedByte() throws IOException;
    public final native short readShort() throws IOException;
    public final native int readUnsignedShort() throws IOException;
    public final native char readChar() throws IOException;
    public final native int readInt() throws IOException;
    public final native long readLong() throws IOException;
    public final native String readUTF() throws IOException;
    public static final native String readUTF(DataInput in) throws IOException;
}
