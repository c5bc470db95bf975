package java.util;

public class Vector {
    protected Object[] elementData;
    protected int elementCount;
    protected int capacityIncrement;
    public Vector() {}
    public Vector(int initialCapacity) {}
    public Vector(int initialCapacity, int capacityIncrement) {}
    public native void copyInto(Object[] anArray);
    public native void trimToSize();
    public native void ensureCapacity(int minCapacity);
    public native void setSize(int newSize);
    public native int capacity();
    public native int size();
    public native boolean isEmpty();
    public native Enumeration elements();
    public native boolean contains(Object elem);
    public native int indexOf(Object elem);
    public native int indexOf(Object elem, int index);
    public native int lastIndexOf(Object elem);
    public native int lastIndexOf(Object elem, int index);
    public native Object elementAt(int index);
    public native Object firstElement();
    public native Object lastElement();
    public native void setElementAt(Object obj, int index);
    public native void removeElementAt(int index);
    public native void insertElementAt(Object obj, int index);
    public native void addElement(Object obj);
    public native boolean removeElement(Object obj);
    public native void removeAllElements();
    public native String toString();
}
