<?xml version="1.0"?>
<!DOCTYPE tileset [<!ENTITY a "aaaa"><!ENTITY b "&a;&a;&a;">]>
<tileset name="&b;" tilewidth="4" tileheight="4"><image source="tiles.png"/></tileset>
