package java.lang;

public final class Integer {
    public static final int MIN_VALUE = 0x80000000;
    public static final int MAX_VALUE = 0x7fffffff;
    public Integer(int value) {}
    public static native String toString(int i, int radix);
    public static native String toHexString(int i);
    public static native String toOctalString(int i);
    public static native String toBinaryString(int i);
    public static native String toString(int i);
    public static native int parseInt(String s, int radix) throws NumberFormatException;
    public static native int parseInt(String s) throws NumberFormatException;
    public static native Integer valueOf(String s, int radix) throws NumberFormatException;
    public static native Integer valueOf(String s) throws NumberFormatException;
    public native byte byteValue();
    public native short shortValue();
    public native int intValue();
    public native long longValue();
    public native String toString();
    public native int hashCode();
    public native boolean equals(Object obj);
}
