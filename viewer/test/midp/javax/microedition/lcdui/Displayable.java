package javax.microedition.lcdui;

import java.util.ArrayList;
import java.util.List;

public abstract class Displayable {
    final List<Command> commands = new ArrayList<>();
    CommandListener listener;

    Displayable() {
    }

    public void addCommand(Command cmd) {
        if (cmd == null) throw new NullPointerException("command");
        if (!commands.contains(cmd)) commands.add(cmd);
    }

    public void removeCommand(Command cmd) {
        commands.remove(cmd);
    }

    public boolean isShown() {
        return Device.current() == this;
    }

    public void setCommandListener(CommandListener l) {
        listener = l;
    }
}
