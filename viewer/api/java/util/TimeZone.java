package java.util;

public abstract class TimeZone {
    public TimeZone() {}
    public abstract int getOffset(int era, int year, int month, int day, int dayOfWeek, int millis);
    public abstract int getRawOffset();
    public abstract boolean useDaylightTime();
    public native String getID();
    public static native TimeZone getTimeZone(String ID);
    public static native TimeZone getDefault();
    public static native String[] getAvailableIDs();
}
