package java.util;

public class Hashtable {
    public Hashtable() {}
    public Hashtable(int initialCapacity) {}
    public native int size();
    public native boolean isEmpty();
    public native Enumeration keys();
    public native Enumeration elements();
    public native boolean contains(Object value);
    public native boolean containsKey(Object key);
    public native Object get(Object key);
    protected native void rehash();
    public native Object put(Object key, Object value);
    public native Object remove(Object key);
    public native void clear();
    public native String toString();
}
