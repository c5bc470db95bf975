package java.util;

// Whole numbers only: the configuration has no floating point.
public class Random {
    public Random() {}
    public Random(long seed) {}
    public native void setSeed(long seed);
    protected native int next(int bits);
    public native int nextInt();
    public native long nextLong();
}
