#pragma once
// Input typed ahead of a message. An operator who types fast has pressed the
// next keys before the window shows why it stays where it is; those keys
// were meant for what the operator expected to see, not for the message box
// (an Enter would close it unread) nor for the archer kept on display.

// Drops every key press, mouse button and wheel turn that has reached the
// program but not yet a widget. Call it right before a message comes up;
// what the operator types once the message is up reaches the message.
void DropInputTypedAhead();
