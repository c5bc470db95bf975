package javax.microedition.lcdui;

public abstract class Canvas extends Displayable {
    public static final int UP = 1;
    public static final int DOWN = 6;
    public static final int LEFT = 2;
    public static final int RIGHT = 5;
    public static final int FIRE = 8;
    public static final int GAME_A = 9;
    public static final int GAME_B = 10;
    public static final int GAME_C = 11;
    public static final int GAME_D = 12;
    public static final int KEY_NUM0 = 48;
    public static final int KEY_NUM1 = 49;
    public static final int KEY_NUM2 = 50;
    public static final int KEY_NUM3 = 51;
    public static final int KEY_NUM4 = 52;
    public static final int KEY_NUM5 = 53;
    public static final int KEY_NUM6 = 54;
    public static final int KEY_NUM7 = 55;
    public static final int KEY_NUM8 = 56;
    public static final int KEY_NUM9 = 57;
    public static final int KEY_STAR = 42;
    public static final int KEY_POUND = 35;

    protected Canvas() {
    }

    public int getWidth() {
        return Device.width();
    }

    public int getHeight() {
        return Device.height();
    }

    public boolean isDoubleBuffered() {
        return true;
    }

    public boolean hasPointerEvents() {
        return false;
    }

    public boolean hasPointerMotionEvents() {
        return false;
    }

    public boolean hasRepeatEvents() {
        return true;
    }

    public int getKeyCode(int gameAction) {
        switch (gameAction) {
        case UP: return Device.KEY_UP;
        case DOWN: return Device.KEY_DOWN;
        case LEFT: return Device.KEY_LEFT;
        case RIGHT: return Device.KEY_RIGHT;
        case FIRE: return Device.KEY_FIRE;
        case GAME_A: return KEY_NUM7;
        case GAME_B: return KEY_NUM9;
        case GAME_C: return KEY_STAR;
        case GAME_D: return KEY_POUND;
        default: throw new IllegalArgumentException("game action " + gameAction);
        }
    }

    public String getKeyName(int keyCode) {
        getGameAction(keyCode);   // rejects codes the keypad lacks
        return keyCode > 0 ? String.valueOf((char) keyCode) : "key" + keyCode;
    }

    /** The keypad of a typical phone: a joystick, and 2, 4, 6, 8, 5 doubling as its directions. */
    public int getGameAction(int keyCode) {
        switch (keyCode) {
        case Device.KEY_UP: case KEY_NUM2: return UP;
        case Device.KEY_DOWN: case KEY_NUM8: return DOWN;
        case Device.KEY_LEFT: case KEY_NUM4: return LEFT;
        case Device.KEY_RIGHT: case KEY_NUM6: return RIGHT;
        case Device.KEY_FIRE: case KEY_NUM5: return FIRE;
        case KEY_NUM7: return GAME_A;
        case KEY_NUM9: return GAME_B;
        case KEY_STAR: return GAME_C;
        case KEY_POUND: return GAME_D;
        case KEY_NUM0: case KEY_NUM1: case KEY_NUM3: case Device.KEY_SOFT1: case Device.KEY_SOFT2: return 0;
        default: throw new IllegalArgumentException("key code " + keyCode);
        }
    }

    protected void keyPressed(int keyCode) {
    }

    protected void keyRepeated(int keyCode) {
    }

    protected void keyReleased(int keyCode) {
    }

    protected void pointerPressed(int x, int y) {
    }

    protected void pointerReleased(int x, int y) {
    }

    protected void pointerDragged(int x, int y) {
    }

    public final void repaint(int x, int y, int width, int height) {
        Device.requestRepaint(this, x, y, width, height);
    }

    public final void repaint() {
        repaint(0, 0, getWidth(), getHeight());
    }

    public final void serviceRepaints() {
        Device.serviceRepaints(this);
    }

    protected void showNotify() {
    }

    protected void hideNotify() {
    }

    protected abstract void paint(Graphics g);
}
