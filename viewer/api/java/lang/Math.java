package java.lang;

// Whole-number arithmetic only: the configuration has no floating point.
public final class Math {
    private Math() {}
    public static native int abs(int a);
    public static native long abs(long a);
    public static native int max(int a, int b);
    public static native long max(long a, long b);
    public static native int min(int a, int b);
    public static native long min(long a, long b);
}
