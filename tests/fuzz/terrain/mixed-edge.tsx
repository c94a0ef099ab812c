<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" name="p" tilewidth="8" tileheight="8" tilecount="256" columns="16">
 <image source="p.png" width="128" height="128"/>
 <tile id="1" probability="0.5"/>
 <wangsets>
  <wangset name="e" type="edge" tile="-1">
   <wangcolor name="a" color="#ff0000" tile="-1" probability="1"/>
   <wangcolor name="b" color="#00ff00" tile="2" probability="0.25"/>
   <wangtile tileid="0" wangid="1,0,1,0,1,0,1,0"/>
   <wangtile tileid="1" wangid="2,0,1,0,1,0,1,0"/>
   <wangtile tileid="2" wangid="2,0,2,0,2,0,2,0"/>
  </wangset>
  <wangset name="m" type="mixed" tile="3">
   <wangcolor name="a" color="#ff0000" tile="-1" probability="1"/>
   <wangtile tileid="3" wangid="1,1,1,1,1,1,1,1"/>
   <wangtile tileid="4" wangid="1,0,1,1,1,1,1,1"/>
  </wangset>
 </wangsets>
</tileset>
