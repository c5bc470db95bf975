package java.lang;

public final class Character {
    public static final int MIN_RADIX = 2;
    public static final int MAX_RADIX = 36;
    public static final char MIN_VALUE = '\u0000';
    public static final char MAX_VALUE = '\uffff';
    public Character(char value) {}
    public native char charValue();
    public native int hashCode();
    public native boolean equals(Object obj);
    public native String toString();
    public static native boolean isLowerCase(char ch);
    public static native boolean isUpperCase(char ch);
    public static native boolean isDigit(char ch);
    public static native char toLowerCase(char ch);
    public static native char toUpperCase(char ch);
    public static native int digit(char ch, int radix);
}
