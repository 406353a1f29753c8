#pragma once
// tallyon history DB ID|--lane LANE [--csv FILE]: every change of an
// archer's arrows, oldest first.

struct Invocation;

int runHistoryCommand(const Invocation& in);
