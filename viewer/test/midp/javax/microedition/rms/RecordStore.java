package javax.microedition.rms;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;

import javax.microedition.midlet.Lifecycle;

/**
 * The phone's record stores: named stores of numbered records, private to the suite that
 * made them (by its MIDlet-Name and MIDlet-Vendor) and kept while the harness runs, so a
 * MIDlet started again finds what it wrote before. Record ids start at 1 and are never
 * reused; opening a store that is open already gives the same store, which stays open until
 * it is closed as often as it was opened. The harness can make every write fail, as a full
 * store does, and can count the stores left open. Record listeners and enumerations are left
 * out: no reader uses them.
 */
public class RecordStore {
    private static final Map<String, RecordStore> stores = new HashMap<>();
    private static boolean full;

    private final String suite;
    private final String name;
    private final TreeMap<Integer, byte[]> records = new TreeMap<>();
    private int nextId = 1;
    private int opened;
    private int version;

    private RecordStore(String suite, String name) {
        this.suite = suite;
        this.name = name;
    }

    private static String key(String suite, String name) {
        return suite + "\u0000" + name;
    }

    // ---- the harness's controls (not part of MIDP) ----

    /** A phone with no record stores at all. */
    public static void forgetAll() {
        stores.clear();
        full = false;
    }

    /** From now on every write fails with RecordStoreFullException (or no longer does). */
    public static void setFull(boolean on) {
        full = on;
    }

    /** How many opens of the current suite's stores are not closed yet. */
    public static int openCount() {
        int n = 0;
        for (RecordStore s : stores.values())
            if (s.suite.equals(Lifecycle.suite())) n += s.opened;
        return n;
    }

    // ---- MIDP ----

    public static RecordStore openRecordStore(String recordStoreName, boolean createIfNecessary)
            throws RecordStoreException, RecordStoreFullException, RecordStoreNotFoundException {
        if (recordStoreName == null || recordStoreName.length() == 0 || recordStoreName.length() > 32)
            throw new RecordStoreException("record store name \"" + recordStoreName + "\"");
        String suite = Lifecycle.suite();
        RecordStore s = stores.get(key(suite, recordStoreName));
        if (s == null) {
            if (!createIfNecessary) throw new RecordStoreNotFoundException(recordStoreName);
            if (full) throw new RecordStoreFullException("no room for a new store");
            s = new RecordStore(suite, recordStoreName);
            stores.put(key(suite, recordStoreName), s);
        }
        s.opened++;
        return s;
    }

    public static void deleteRecordStore(String recordStoreName) throws RecordStoreException, RecordStoreNotFoundException {
        RecordStore s = stores.get(key(Lifecycle.suite(), recordStoreName));
        if (s == null) throw new RecordStoreNotFoundException(recordStoreName);
        if (s.opened > 0) throw new RecordStoreException("record store " + recordStoreName + " is open");
        stores.remove(key(Lifecycle.suite(), recordStoreName));
    }

    public static String[] listRecordStores() {
        List<String> names = new ArrayList<>();
        for (RecordStore s : stores.values())
            if (s.suite.equals(Lifecycle.suite())) names.add(s.name);
        return names.isEmpty() ? null : names.toArray(new String[0]);
    }

    private void checkOpen() throws RecordStoreNotOpenException {
        if (opened == 0) throw new RecordStoreNotOpenException(name);
    }

    private byte[] record(int recordId) throws InvalidRecordIDException {
        byte[] r = records.get(recordId);
        if (r == null) throw new InvalidRecordIDException("record " + recordId + " of " + name);
        return r;
    }

    private static byte[] slice(byte[] data, int offset, int numBytes) {
        if (numBytes == 0) return new byte[0];
        if (data == null) throw new NullPointerException("data");
        if (offset < 0 || numBytes < 0 || offset + numBytes > data.length)
            throw new ArrayIndexOutOfBoundsException("offset " + offset + ", " + numBytes + " bytes of " + data.length);
        return Arrays.copyOfRange(data, offset, offset + numBytes);
    }

    public void closeRecordStore() throws RecordStoreNotOpenException, RecordStoreException {
        checkOpen();
        opened--;
    }

    public String getName() throws RecordStoreNotOpenException {
        checkOpen();
        return name;
    }

    public int getVersion() throws RecordStoreNotOpenException {
        checkOpen();
        return version;
    }

    public int getNumRecords() throws RecordStoreNotOpenException {
        checkOpen();
        return records.size();
    }

    public int getSize() throws RecordStoreNotOpenException {
        checkOpen();
        int size = 0;
        for (byte[] r : records.values()) size += r.length;
        return size;
    }

    public int getSizeAvailable() throws RecordStoreNotOpenException {
        checkOpen();
        return full ? 0 : 65536;
    }

    public int getNextRecordID() throws RecordStoreNotOpenException, RecordStoreException {
        checkOpen();
        return nextId;
    }

    public int addRecord(byte[] data, int offset, int numBytes)
            throws RecordStoreNotOpenException, RecordStoreException, RecordStoreFullException {
        checkOpen();
        byte[] r = slice(data, offset, numBytes);
        if (full) throw new RecordStoreFullException("the store is full");
        records.put(nextId, r);
        version++;
        return nextId++;
    }

    public void deleteRecord(int recordId) throws RecordStoreNotOpenException, InvalidRecordIDException, RecordStoreException {
        checkOpen();
        record(recordId);
        records.remove(recordId);
        version++;
    }

    public int getRecordSize(int recordId) throws RecordStoreNotOpenException, InvalidRecordIDException, RecordStoreException {
        checkOpen();
        return record(recordId).length;
    }

    public int getRecord(int recordId, byte[] buffer, int offset)
            throws RecordStoreNotOpenException, InvalidRecordIDException, RecordStoreException {
        checkOpen();
        byte[] r = record(recordId);
        System.arraycopy(r, 0, buffer, offset, r.length);
        return r.length;
    }

    /** A copy of the record; null for a record of no bytes. */
    public byte[] getRecord(int recordId) throws RecordStoreNotOpenException, InvalidRecordIDException, RecordStoreException {
        checkOpen();
        byte[] r = record(recordId);
        return r.length == 0 ? null : r.clone();
    }

    public void setRecord(int recordId, byte[] newData, int offset, int numBytes)
            throws RecordStoreNotOpenException, InvalidRecordIDException, RecordStoreException, RecordStoreFullException {
        checkOpen();
        record(recordId);
        byte[] r = slice(newData, offset, numBytes);
        if (full) throw new RecordStoreFullException("the store is full");
        records.put(recordId, r);
        version++;
    }
}
